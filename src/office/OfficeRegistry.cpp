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

class SystemRegistry final : public OfficeRegistry
{
public:
    word::ApplicationPtr createWordProcessor(const QString& progId) override
    {
        if (com(progId))
            return comseam::wordProcessor(*m_com, progId);
        if (!named(progId, "Word.Application"))
            throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
        const Engine engine = engineFromEnvironment();
        std::function<word::ApplicationPtr()> libreOffice;
#ifdef YANHE_HAVE_LIBREOFFICE
        if (haveLibreOffice())
            libreOffice = [] { return unooffice::createWriter(); };
#endif
        if (engine == Engine::LibreOffice) {
            if (!libreOffice)
                throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
            return libreOffice();
        }
        return ooxml::routedWordProcessor(engine == Engine::Chosen ? libreOffice : nullptr, notes());
    }

    sheet::ApplicationPtr createSpreadsheet(const QString& progId) override
    {
        if (com(progId))
            return comseam::spreadsheet(*m_com, progId);
        if (!named(progId, "Excel.Application"))
            throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
        const Engine engine = engineFromEnvironment();
        std::function<sheet::ApplicationPtr()> libreOffice;
#ifdef YANHE_HAVE_LIBREOFFICE
        if (haveLibreOffice())
            libreOffice = [] { return unooffice::createCalc(); };
#endif
        if (engine == Engine::LibreOffice) {
            if (!libreOffice)
                throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
            return libreOffice();
        }
        return ooxml::routedSpreadsheet(engine == Engine::Chosen ? libreOffice : nullptr, notes());
    }

    void setJournal(std::function<void(const QString&)> journal) override
    {
        m_journal = std::move(journal);
    }

private:
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
