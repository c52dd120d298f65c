#include "env/OfficeProbes.h"
#include "support/FakeOffice.h"

#include <QTest>

using env::EnvironmentReport;

namespace {

const QString kCannotCreate = QStringLiteral("ActiveX 部件不能创建对象");

QList<bool> options(const EnvironmentReport& report, bool before = true)
{
    return {report.optionEnabled(1, before), report.optionEnabled(2, before), report.optionEnabled(3, before),
            report.optionEnabled(4, before)};
}

} // namespace

class TestOfficeProbes : public QObject
{
    Q_OBJECT
private slots:
    void excel16WithOnlyKet11();
    void onlyEtRegistered();
    void versionLabels();
    void failuresThatChangeNoOption();
};

void TestOfficeProbes::excel16WithOnlyKet11()
{
    FakeOffice office;
    office.registered = {"excel.application", "ket.application"};
    office.spreadsheetPrograms["ket.application"].version = "11.0";

    const EnvironmentReport report = env::probeAll(office);
    QCOMPARE(report.text9, QString("1、本机系统提示: 已安装offcce 2016版本 版本号：16.0"
                                   "  2、未安装WPS-V8或以下版本"
                                   "  3、系统wps提示:已安装WPS-V9或以上版本 版本号：11.0"));
    QCOMPARE(report.journal,
             QStringList{"WPSV8错误代码：429错误描述：" + kCannotCreate + "（ET.Application）错误"});
    QCOMPARE(options(report, false), (QList<bool>{true, true, true, true}));
    // Each instance is kept hidden and released; none is quit.
    QCOMPARE(office.calls, (QStringList{"create excel.Application", "visible 0", "create ET.Application",
                                        "create KET.Application", "visible 0"}));
    QCOMPARE(office.spreadsheetsReleased, 2);
}

void TestOfficeProbes::onlyEtRegistered()
{
    FakeOffice office;
    office.registered = {"et.application"};
    office.spreadsheetPrograms["et.application"].version = "8";

    EnvironmentReport report;
    env::CheckOfficeVersion(office, report);
    QCOMPARE(report.text9, QString("  1、获取offcce版本失败"));
    QCOMPARE(report.microsoftEnabled, std::optional<bool>(false));
    env::CheckWpsV8(office, report);
    QCOMPARE(report.wpsEnabled, std::optional<bool>(true));
    // The last probe decides the WPS options.
    env::CheckWpsV9(office, report);
    QCOMPARE(report.text9,
             QString("  1、获取offcce版本失败  2、系统wps提示:已安装WPS-V8或以下版本 版本号：8.0"
                     "  3、未安装WPS-V9或以上版本"));
    QCOMPARE(options(report), (QList<bool>{false, false, false, false}));
    QCOMPARE(report.journal,
             (QStringList{"错误代码：429错误描述：" + kCannotCreate + "（excel.Application）错误",
                          "WPSV9错误代码：429错误描述：" + kCannotCreate + "（KET.Application）错误"}));
}

void TestOfficeProbes::versionLabels()
{
    const QString y2003 = "已安装offcce 2003或以下版本", unknown = "未知版本";
    const QList<std::pair<QString, QString>> office{
        {"10", y2003},
        {"11.0", y2003},
        {"11.5", unknown},
        {"12.0", "已安装offcce 2007版本"},
        {"12.5", unknown},
        {"13.0", unknown},
        {"14.0", "已安装offcce 2010版本"},
        {"15.0", "已安装offcce 2013版本"},
        {"16.0", "已安装offcce 2016版本"},
        {"16.25", "已安装offcce 2016以上版本"},
        {" 17 ", "已安装offcce 2016以上版本"},
    };
    for (const auto& [version, label] : office) {
        FakeOffice fake;
        fake.spreadsheetPrograms["excel.application"].version = version;
        EnvironmentReport report;
        env::CheckOfficeVersion(fake, report);
        QVERIFY2(report.text9.startsWith("1、本机系统提示: " + label + " 版本号："), qPrintable(version));
    }
    // The WPS labels meet at 9: 8.x is V8, 9 and above V9.
    for (const double version : {6.0, 8.0, 8.9, 9.0, 11.0, 12.0}) {
        QCOMPARE(env::wpsV8Label(version), version < 9 ? "已安装WPS-V8或以下版本" : unknown);
        QCOMPARE(env::wpsV9Label(version), version < 9 ? unknown : "已安装WPS-V9或以上版本");
    }

    // A stand-in for Excel names itself.
    FakeOffice standIn;
    standIn.registered = {"excel.application"};
    standIn.spreadsheetPrograms["excel.application"] = {"LibreOffice Calc", "7.4", "LibreOffice", 0};
    const EnvironmentReport report = env::probeAll(standIn);
    QVERIFY2(report.text9.startsWith(
                 "1、本机系统提示: 已安装LibreOffice 7.4版本（代替Word和Excel） 版本号：7.4.0  2、"),
             qPrintable(report.text9));
    QCOMPARE(options(report), (QList<bool>{true, true, false, false}));
}

void TestOfficeProbes::failuresThatChangeNoOption()
{
    // The three probes in the window's order, over a box that held text.
    const auto probeThree = [](FakeOffice& office, const QString& text9) {
        EnvironmentReport report;
        report.text9 = text9;
        env::CheckOfficeVersion(office, report);
        env::CheckWpsV8(office, report);
        env::CheckWpsV9(office, report);
        return report;
    };
    // An empty default value: the first replaces the box, the others add a line each.
    FakeOffice empty;
    empty.registered = {"excel.application", "et.application", "ket.application"};
    for (const QString& id : empty.registered)
        empty.spreadsheetPrograms[id].defaultValue.clear();
    const EnvironmentReport report = probeThree(empty, "earlier text");
    QCOMPARE(report.text9,
             QString("1、系统提示:不能运行Excel或wod程序,请检查是否已安装Microsoft Excel Word软件!"
                     "\r\n2、系统提示:不能运行WPS-V8程序,请检查是否已安装WPS软件!"
                     "\r\n3、系统提示:不能运行WPS-V8程序,请检查是否已安装WPS软件!"));
    QCOMPARE(options(report, false), (QList<bool>{false, false, false, false}));
    QVERIFY(!report.microsoftEnabled && !report.wpsEnabled && report.journal.isEmpty());

    // Version fails (automation error), Version is no number, creation fails with another number: silent.
    FakeOffice office;
    office.registered = empty.registered;
    office.spreadsheetPrograms["excel.application"].versionFailure = 440;
    office.spreadsheetPrograms["et.application"].version = "V9 Pro";
    office.createFailures["ket.application"] = 70;
    const EnvironmentReport silent = probeThree(office, "kept");
    QCOMPARE(silent.text9, QString("kept"));
    QVERIFY(!silent.microsoftEnabled && !silent.wpsEnabled && silent.journal.isEmpty());
    QCOMPARE(office.spreadsheetsReleased, 2);

    // A later failure keeps what an earlier probe set.
    office.createFailures.clear();
    office.spreadsheetPrograms["ket.application"].version = "12";
    office.spreadsheetPrograms["et.application"].versionFailure = 440;
    EnvironmentReport later;
    env::CheckWpsV9(office, later);
    env::CheckWpsV8(office, later);
    QCOMPARE(later.wpsEnabled, std::optional<bool>(true));
    QCOMPARE(later.text9, QString("  3、系统wps提示:已安装WPS-V9或以上版本 版本号：12.0"));
}

QTEST_GUILESS_MAIN(TestOfficeProbes)
#include "tst_officeprobes.moc"
