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

constexpr int kCannotCreate = 429;

class SystemRegistry final : public OfficeRegistry
{
public:
    word::ApplicationPtr createWordProcessor(const QString& progId) override
    {
        if (m_com->isRegistered(progId))
            return comseam::wordProcessor(m_com->create(progId));
#ifdef YANHE_HAVE_LIBREOFFICE
        if (progId.compare(QLatin1String("Word.Application"), Qt::CaseInsensitive) == 0 && haveLibreOffice())
            return unooffice::createWriter();
#endif
        throw RuntimeError(kCannotCreate, cannotCreate(progId));
    }

    sheet::ApplicationPtr createSpreadsheet(const QString& progId) override
    {
        if (m_com->isRegistered(progId))
            return comseam::spreadsheet(m_com->create(progId));
#ifdef YANHE_HAVE_LIBREOFFICE
        if (progId.compare(QLatin1String("Excel.Application"), Qt::CaseInsensitive) == 0 && haveLibreOffice())
            return unooffice::createCalc();
#endif
        throw RuntimeError(kCannotCreate, cannotCreate(progId));
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

namespace {

template <class Create> auto withFallback(Create create)
{
    try {
        return create(QStringLiteral("ET.Application"));
    } catch (const RuntimeError& error) {
        if (error.number() != kCannotCreate)
            throw;
        return create(QStringLiteral("KET.Application"));
    }
}

} // namespace

word::ApplicationPtr OfficeRegistry::createWpsWordProcessor()
{
    return withFallback([this](const QString& progId) { return createWordProcessor(progId); });
}

sheet::ApplicationPtr OfficeRegistry::createWpsSpreadsheet()
{
    return withFallback([this](const QString& progId) { return createSpreadsheet(progId); });
}

QString OfficeRegistry::cannotCreate(const QString& progId)
{
    return QStringLiteral("ActiveX 部件不能创建对象（%1）").arg(progId);
}

OfficeRegistry& OfficeRegistry::system()
{
    static SystemRegistry registry;
    return registry;
}
