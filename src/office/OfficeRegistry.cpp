#include "OfficeRegistry.h"

#include "app/DryRun.h"
#include "app/RuntimeError.h"
#include "com/ComEngines.h"
#include "com/Dispatch.h"
#include "ooxml/SheetEngine.h"
#include "ooxml/WordEngine.h"

#ifdef YANHE_HAVE_LIBREOFFICE
#include "libreoffice/Installation.h"
#include "libreoffice/UnoCalc.h"
#include "libreoffice/UnoWriter.h"
#endif

namespace {

bool named(const QString& progId, const char* name)
{
    return progId.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// The engine for progId: the program registered for it, else (for Word's and Excel's
// identifiers) the lossless engine with LibreOffice behind it, or the one YANHE_ENGINE names.
template <typename Pointer> struct Route
{
    const char* ownIdentifier;
    Pointer (*viaCom)(comseam::Runtime&, const QString&);
    std::function<Pointer()> libreOffice;
    Pointer (*lossless)(std::function<Pointer()>, ooxml::Notes);
};

class SystemRegistry final : public OfficeRegistry
{
public:
    word::ApplicationPtr createWordProcessor(const QString& progId) override
    {
        Route<word::ApplicationPtr> route{
            "Word.Application",
            [](comseam::Runtime& com, const QString& id) { return comseam::wordProcessor(com, id); }, nullptr,
            &ooxml::routedWordProcessor};
#ifdef YANHE_HAVE_LIBREOFFICE
        if (haveLibreOffice())
            route.libreOffice = [] { return unooffice::createWriter(); };
#endif
        return create(progId, route);
    }

    sheet::ApplicationPtr createSpreadsheet(const QString& progId) override
    {
        Route<sheet::ApplicationPtr> route{
            "Excel.Application",
            [](comseam::Runtime& com, const QString& id) { return comseam::spreadsheet(com, id); }, nullptr,
            &ooxml::routedSpreadsheet};
#ifdef YANHE_HAVE_LIBREOFFICE
        if (haveLibreOffice())
            route.libreOffice = [] { return unooffice::createCalc(); };
#endif
        return create(progId, route);
    }

    void setJournal(std::function<void(const QString&)> journal) override
    {
        m_journal = std::move(journal);
    }

private:
    template <typename Pointer> Pointer create(const QString& progId, const Route<Pointer>& route)
    {
        if (com(progId))
            return route.viaCom(*m_com, progId);
        if (!named(progId, route.ownIdentifier))
            throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
        const Engine engine = engineFromEnvironment();
        if (engine == Engine::LibreOffice) {
            if (!route.libreOffice)
                throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
            return route.libreOffice();
        }
        return route.lossless(engine == Engine::Chosen ? route.libreOffice : nullptr, notes());
    }

    // Whether a program registered for COM edits the files. Not in a dry run: Word,
    // Excel and WPS do not tell how many occurrences they replaced.
    bool com(const QString& progId) const
    {
        return !DryRun::active() && m_com->isRegistered(progId);
    }
#ifdef YANHE_HAVE_LIBREOFFICE
    static bool haveLibreOffice()
    {
        return !LibreOfficeInstallation::programFolder().isEmpty();
    }
#endif
    // Engines created now write to the journal of the job that creates them,
    // for as long as they live, whatever journal is set later.
    ooxml::Notes notes()
    {
        return [journal = m_journal](const QString& line) {
            if (journal)
                journal(line);
        };
    }

    std::unique_ptr<comseam::Runtime> m_com = comseam::Runtime::create();
    std::function<void(const QString&)> m_journal;
};

} // namespace

OfficeRegistry::Engine OfficeRegistry::engineFromEnvironment()
{
    const QString chosen = qEnvironmentVariable("YANHE_ENGINE").trimmed().toLower();
    if (chosen == QLatin1String("lossless"))
        return Engine::Lossless;
    if (chosen == QLatin1String("libreoffice"))
        return Engine::LibreOffice;
    return Engine::Chosen;
}

QString OfficeRegistry::cannotCreate(const QString& progId)
{
    return RuntimeError::nameOf(RuntimeError::CannotCreateObject) + QStringLiteral("（%1）").arg(progId);
}

OfficeRegistry& OfficeRegistry::system()
{
    static SystemRegistry registry;
    return registry;
}
