#include "OfficeRegistry.h"

#include "app/RuntimeError.h"
#include "com/ComEngines.h"
#include "com/Dispatch.h"

#ifdef YANHE_HAVE_LIBREOFFICE
#include "libreoffice/Installation.h"
#include "libreoffice/UnoCalc.h"
#include "libreoffice/UnoWriter.h"
#endif

namespace {

class SystemRegistry final : public OfficeRegistry
{
public:
    word::ApplicationPtr createWordProcessor(const QString& progId) override
    {
        if (m_com->isRegistered(progId))
            return comseam::wordProcessor(*m_com, progId);
#ifdef YANHE_HAVE_LIBREOFFICE
        if (progId.compare(QLatin1String("Word.Application"), Qt::CaseInsensitive) == 0 && haveLibreOffice())
            return unooffice::createWriter();
#endif
        throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
    }

    sheet::ApplicationPtr createSpreadsheet(const QString& progId) override
    {
        if (m_com->isRegistered(progId))
            return comseam::spreadsheet(*m_com, progId);
#ifdef YANHE_HAVE_LIBREOFFICE
        if (progId.compare(QLatin1String("Excel.Application"), Qt::CaseInsensitive) == 0 && haveLibreOffice())
            return unooffice::createCalc();
#endif
        throw RuntimeError(RuntimeError::CannotCreateObject, cannotCreate(progId));
    }

private:
#ifdef YANHE_HAVE_LIBREOFFICE
    static bool haveLibreOffice()
    {
        return !LibreOfficeInstallation::programFolder().isEmpty();
    }
#endif
    std::unique_ptr<comseam::Runtime> m_com = comseam::Runtime::create();
};

} // namespace

QString OfficeRegistry::cannotCreate(const QString& progId)
{
    return RuntimeError::nameOf(RuntimeError::CannotCreateObject) + QStringLiteral("（%1）").arg(progId);
}

OfficeRegistry& OfficeRegistry::system()
{
    static SystemRegistry registry;
    return registry;
}
