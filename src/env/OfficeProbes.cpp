#include "OfficeProbes.h"

#include "app/RuntimeError.h"

#include <QLocale>
#include <cmath>

namespace env {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kTwoBlanks = QStringLiteral("  ");
const QString kUnknown = QStringLiteral("未知版本");

struct Probe
{
    QString progId;
    bool replacesText; // the first probe sets the report box; the others append
    QString cannotRun;
    QString linePrefix;
    QString (*label)(double);
    QString failed;
    QString journalPrefix;
    std::optional<bool> EnvironmentReport::*options;
    bool mayStandIn; // a stand-in program is named as such instead of by a version label
};

// A version text as a number; anything else is a type mismatch.
double toNumber(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw RuntimeError(RuntimeError::TypeMismatch, RuntimeError::nameOf(RuntimeError::TypeMismatch),
                           QStringLiteral("Version: ") + text);
    return value;
}

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

void run(const Probe& probe, sheet::Factory& factory, EnvironmentReport& report)
{
    const auto put = [&](const QString& text, bool replace) {
        if (replace)
            report.text9 = text;
        else
            report.text9 += text;
    };
    try {
        const sheet::ApplicationPtr application = factory.createSpreadsheet(probe.progId);
        application->setVisible(false);
        if (application->defaultValue().isEmpty()) {
            put(probe.replacesText ? probe.cannotRun : kCrLf + probe.cannotRun, probe.replacesText);
            return;
        }
        const QString versionText = application->version();
        const double version = toNumber(versionText);
        const QString standIn = probe.mayStandIn ? application->standIn() : QString();
        const QString label =
            standIn.isEmpty()
                ? probe.label(version)
                : QStringLiteral("已安装%1 %2版本（代替Word和Excel）").arg(standIn, versionText.trimmed());
        report.*probe.options = true;
        const QString line =
            probe.linePrefix + label + QStringLiteral(" 版本号：") + shortest(version) + QStringLiteral(".0");
        put(probe.replacesText ? line : kTwoBlanks + line, probe.replacesText);
    } catch (const RuntimeError& error) {
        // Only "cannot create" is reported; any other failure ends the probe silently.
        if (error.number() != RuntimeError::CannotCreateObject)
            return;
        report.*probe.options = false;
        put(kTwoBlanks + probe.failed, false);
        report.journal << probe.journalPrefix + QString::number(error.number()) +
                              QStringLiteral("错误描述：") + error.description() + QStringLiteral("错误");
    } catch (const std::exception&) {
        // An engine's own failure that did not become a RuntimeError: still not a 429.
    }
}

} // namespace

bool EnvironmentReport::optionEnabled(int option, bool before) const
{
    const std::optional<bool>& set = option <= 2 ? microsoftEnabled : wpsEnabled;
    return set.value_or(before);
}

QString officeLabel(double version)
{
    if (version <= 11)
        return QStringLiteral("已安装offcce 2003或以下版本");
    if (version == 12)
        return QStringLiteral("已安装offcce 2007版本");
    if (version == 14)
        return QStringLiteral("已安装offcce 2010版本");
    if (version == 15)
        return QStringLiteral("已安装offcce 2013版本");
    if (version == 16)
        return QStringLiteral("已安装offcce 2016版本");
    if (version > 16)
        return QStringLiteral("已安装offcce 2016以上版本");
    return kUnknown;
}

// The two WPS labels split the versions at 9: 8 and 8.x are V8, 9 and above V9.
QString wpsV8Label(double version)
{
    return version < 9 ? QStringLiteral("已安装WPS-V8或以下版本") : kUnknown;
}

QString wpsV9Label(double version)
{
    return version >= 9 ? QStringLiteral("已安装WPS-V9或以上版本") : kUnknown;
}

void CheckOfficeVersion(sheet::Factory& factory, EnvironmentReport& report)
{
    static const Probe probe{
        QStringLiteral("excel.Application"),
        true,
        QStringLiteral("1、系统提示:不能运行Excel或wod程序,请检查是否已安装Microsoft Excel Word软件!"),
        QStringLiteral("1、本机系统提示: "),
        officeLabel,
        QStringLiteral("1、获取offcce版本失败"),
        QStringLiteral("错误代码："),
        &EnvironmentReport::microsoftEnabled,
        true,
    };
    run(probe, factory, report);
}

void CheckWpsV8(sheet::Factory& factory, EnvironmentReport& report)
{
    static const Probe probe{
        QStringLiteral("ET.Application"),
        false,
        QStringLiteral("2、系统提示:不能运行WPS-V8程序,请检查是否已安装WPS软件!"),
        QStringLiteral("2、系统wps提示:"),
        wpsV8Label,
        QStringLiteral("2、未安装WPS-V8或以下版本"),
        QStringLiteral("WPSV8错误代码："),
        &EnvironmentReport::wpsEnabled,
        false,
    };
    run(probe, factory, report);
}

void CheckWpsV9(sheet::Factory& factory, EnvironmentReport& report)
{
    static const Probe probe{
        QStringLiteral("KET.Application"),
        false,
        QStringLiteral("3、系统提示:不能运行WPS-V8程序,请检查是否已安装WPS软件!"),
        QStringLiteral("3、系统wps提示:"),
        wpsV9Label,
        QStringLiteral("3、未安装WPS-V9或以上版本"),
        QStringLiteral("WPSV9错误代码："),
        &EnvironmentReport::wpsEnabled,
        false,
    };
    run(probe, factory, report);
}

EnvironmentReport probeAll(sheet::Factory& factory)
{
    EnvironmentReport report;
    CheckOfficeVersion(factory, report);
    CheckWpsV8(factory, report);
    CheckWpsV9(factory, report);
    return report;
}

} // namespace env
