// Lossless engine on one .docx of many sections, each with a header of its
// own (4,900 by default): `yanhe-cli word-replace --scope headers-footers`
// with YANHE_ENGINE=lossless on a quarter, a half and all of the sections,
// so that the time per section shows whether the work grows with the size of
// the document or faster. Then 5,000 matches in one paragraph, with change
// tracking off and on. Prints the time, the time per section and the run's
// peak memory.
#include "support/ZipFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
const QByteArray kNamespaces =
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

void writeSections(const QString& path, int sections, const QByteArray& oneParagraph = {},
                   bool tracked = false)
{
    QByteArray types = kDeclaration +
                       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                       "<Default Extension=\"rels\" ContentType=\"application/"
                       "vnd.openxmlformats-package.relationships+xml\"/>"
                       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                       "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                       "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>";
    QByteArray rels = kDeclaration + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                                     "relationships\">";
    QByteArray body;
    ZipFiles::Parts headers;
    for (int i = 1; i <= sections; ++i) {
        const QByteArray n = QByteArray::number(i);
        types += "<Override PartName=\"/word/header" + n +
                 ".xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>";
        rels += "<Relationship Id=\"rIdH" + n +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" "
                "Target=\"header" +
                n + ".xml\"/>";
        const QByteArray reference = "<w:headerReference w:type=\"default\" r:id=\"rIdH" + n + "\"/>";
        body += "<w:p><w:r><w:t>Section " + n + " text OLD</w:t></w:r></w:p>";
        body += i < sections ? "<w:p><w:pPr><w:sectPr>" + reference + "</w:sectPr></w:pPr></w:p>"
                             : "<w:sectPr>" + reference + "</w:sectPr>";
        headers.append({"word/header" + QString::number(i) + ".xml", kDeclaration + "<w:hdr" + kNamespaces +
                                                                         "><w:p><w:r><w:t>Header " + n +
                                                                         " OLD</w:t></w:r></w:p></w:hdr>"});
    }
    if (!oneParagraph.isEmpty())
        body.prepend("<w:p><w:r><w:t xml:space=\"preserve\">" + oneParagraph + "</w:t></w:r></w:p>");
    if (tracked) {
        types += "<Override PartName=\"/word/settings.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.wordprocessingml.settings+xml\"/>";
        rels += "<Relationship Id=\"rIdS\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships/settings\" Target=\"settings.xml\"/>";
        headers.append({"word/settings.xml",
                        kDeclaration + "<w:settings" + kNamespaces + "><w:trackRevisions/></w:settings>"});
    }
    ZipFiles::Parts parts = {
        {"[Content_Types].xml", types + "</Types>"},
        {"_rels/.rels",
         kDeclaration + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                        "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                        "officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
                        "</Relationships>"},
        {"word/document.xml",
         kDeclaration + "<w:document" + kNamespaces + "><w:body>" + body + "</w:body></w:document>"},
        {"word/_rels/document.xml.rels", rels + "</Relationships>"},
    };
    ZipFiles::write(path, parts + headers);
}

// yanhe-cli word-replace OLD -> NEW on path with the lossless engine: seconds.
double replace(const QString& path, const QString& appFolder)
{
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("YANHE_ENGINE"), QStringLiteral("lossless"));
    environment.insert(QStringLiteral("YANHE_APP_FOLDER"), appFolder);
    run.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    run.start(QStringLiteral(YANHE_CLI),
              {QStringLiteral("word-replace"), QStringLiteral("--old"), QStringLiteral("OLD"),
               QStringLiteral("--new"), QStringLiteral("NEW"), QStringLiteral("--scope"),
               QStringLiteral("headers-footers"), path});
    run.waitForFinished(-1);
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int most = argc > 1 ? std::max(4, atoi(argv[1])) : 4900;
    QTemporaryDir dir;
    std::printf("word-replace --scope headers-footers, lossless engine, one .docx:\n");
    for (const int sections : {most / 4, most / 2, most}) {
        const QString path = dir.filePath(QStringLiteral("sections%1.docx").arg(sections));
        writeSections(path, sections);
        const double seconds = replace(path, dir.filePath(QStringLiteral("app")));
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        const QByteArray header =
            ZipFiles::read(path).value(QStringLiteral("word/header%1.xml").arg(sections));
        std::printf("  %5d sections  %8.2f s  %7.3f ms/section  peak %5ld MiB (largest run so far)  %s\n",
                    sections, seconds, seconds * 1000 / sections, usage.ru_maxrss / 1024,
                    header.contains("NEW") ? "replaced" : "NOT REPLACED");
        std::fflush(stdout);
    }
    QByteArray matches;
    for (int i = 0; i < 5000; ++i)
        matches += "word OLD ";
    for (const bool tracked : {false, true}) {
        const QString path = dir.filePath(QStringLiteral("matches%1.docx").arg(tracked));
        writeSections(path, 1, matches, tracked);
        const double seconds = replace(path, dir.filePath(QStringLiteral("app")));
        const QByteArray document = ZipFiles::read(path).value(QStringLiteral("word/document.xml"));
        std::printf("  5,000 matches in one paragraph, tracking %s: %6.2f s  %s\n", tracked ? "on " : "off",
                    seconds, document.count("NEW") >= 5000 ? "replaced" : "NOT REPLACED");
        std::fflush(stdout);
    }
    return 0;
}
