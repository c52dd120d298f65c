#include "ZipFiles.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <zip.h>

namespace ZipFiles {

namespace {

zip_t* open(const QString& path, int flags)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), flags, &error);
    if (!archive)
        throw std::runtime_error("cannot open zip " + path.toStdString());
    return archive;
}

} // namespace

void write(const QString& path, const Parts& parts, const QStringList& stored)
{
    QFile::remove(path);
    zip_t* archive = open(path, ZIP_CREATE | ZIP_TRUNCATE);
    for (const auto& [name, bytes] : parts) {
        void* copy = malloc(size_t(std::max<qsizetype>(1, bytes.size())));
        memcpy(copy, bytes.constData(), size_t(bytes.size()));
        zip_source_t* source = zip_source_buffer(archive, copy, zip_uint64_t(bytes.size()), 1);
        const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 stored.contains(name) ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        zip_file_set_mtime(archive, zip_uint64_t(index), 315532800 + 86400 * 400, 0);
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("cannot write zip " + path.toStdString());
}

QStringList names(const QString& path)
{
    zip_t* archive = open(path, ZIP_RDONLY);
    QStringList found;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        found << QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
    zip_discard(archive);
    return found;
}

QMap<QString, QByteArray> read(const QString& path)
{
    zip_t* archive = open(path, ZIP_RDONLY);
    QMap<QString, QByteArray> parts;
    char buffer[65536];
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!file)
            throw std::runtime_error("cannot read zip entry");
        QByteArray& bytes = parts[QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0))];
        for (zip_int64_t n = 0; (n = zip_fread(file, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, qsizetype(n));
        zip_fclose(file);
    }
    zip_discard(archive);
    return parts;
}

const QByteArray kWordNamespaces =
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
    " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
    " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
    " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
    " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
    " xmlns:v=\"urn:schemas-microsoft-com:vml\""
    " xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\"";

void writePackage(const QString& path, const QList<Part>& parts, const QStringList& stored)
{
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    const QByteArray relationships =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const QByteArray relationship =
        "<Relationship Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/";
    const QString main = parts.value(0).name;
    const QString folder = main.left(main.lastIndexOf('/') + 1);
    const QByteArray vocabulary = "application/vnd.openxmlformats-officedocument." +
                                  QByteArray(main.startsWith("xl/") ? "spreadsheetml." : "wordprocessingml.");
    QByteArray types = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                       "<Default Extension=\"rels\" ContentType=\"application/"
                       "vnd.openxmlformats-package.relationships+xml\"/>"
                       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                       "<Default Extension=\"png\" ContentType=\"image/png\"/><Override PartName=\"/" +
                       main.toUtf8() + "\" ContentType=\"" + vocabulary +
                       (main.startsWith("xl/") ? "sheet" : "document") + ".main+xml\"/>";
    QByteArray related = relationships;
    Parts zip = {{main, parts.value(0).xml}};
    for (const Part& part : parts.mid(1)) {
        const bool external = part.name.contains("://");
        if (!part.id.isEmpty())
            related += relationship + part.rel + "\" Id=\"" + part.id + "\" Target=\"" +
                       (external ? part.name : part.name.mid(folder.size())).toUtf8() +
                       (external ? "\" TargetMode=\"External\"/>" : "\"/>");
        if (!part.rel.isEmpty() && part.name.endsWith(".xml"))
            types += "<Override PartName=\"/" + part.name.toUtf8() + "\" ContentType=\"" + vocabulary +
                     part.rel + "+xml\"/>";
        if (!external)
            zip.append({part.name, part.xml});
    }
    zip.insert(1, {folder + "_rels/" + main.mid(folder.size()) + ".rels", related + "</Relationships>"});
    zip.prepend({"_rels/.rels", relationships + relationship + "officeDocument\" Id=\"rId1\" Target=\"" +
                                    main.toUtf8() + "\"/></Relationships>"});
    zip.prepend({"[Content_Types].xml", types + "</Types>"});
    for (auto& [name, bytes] : zip) {
        if ((name.endsWith(".xml") || name.endsWith(".rels")) && !bytes.startsWith("<?xml"))
            bytes.prepend(declaration);
    }
    write(path, zip, stored);
}

void writeDocx(const QString& path, const QByteArray& body, const QList<QPair<QString, QByteArray>>& stories,
               const QList<Part>& more)
{
    QList<Part> parts = {{"word/document.xml",
                          "<w:document" + kWordNamespaces + "><w:body>" + body + "</w:body></w:document>"}};
    for (const auto& [name, content] : stories) {
        const QByteArray kind = name.left(6).toUtf8(); // header, footer, settin(gs)
        const QByteArray root = kind == "header" ? "w:hdr" : kind == "footer" ? "w:ftr" : "w:settings";
        parts.append({"word/" + name + ".xml",
                      "<" + root + kWordNamespaces + ">" + content + "</" + root + ">",
                      kind == "settin" ? "settings" : kind, name.toUtf8()});
    }
    parts.append(
        {"word/media/image1.png",
         QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA"
                                "60e6kgAAAABJRU5ErkJggg=="),
         "image", "rIdImage"});
    writePackage(path, parts + more, {"word/media/image1.png"});
}

QByteArray textBox(const QByteArray& text, bool floating, bool vml)
{
    const QByteArray content =
        "<w:txbxContent><w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p></w:txbxContent>";
    const QByteArray place = floating ? "anchor" : "inline";
    const QByteArray extent = "<wp:extent cx=\"1800000\" cy=\"400000\"/>";
    const QByteArray drawing =
        "<w:drawing><wp:" + place + " distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"" +
        (floating
             ? " simplePos=\"0\" relativeHeight=\"2\" behindDoc=\"0\" locked=\"0\" layoutInCell=\"1\" "
               "allowOverlap=\"1\"><wp:simplePos x=\"0\" y=\"0\"/><wp:positionH relativeFrom=\"column\">"
               "<wp:posOffset>3000000</wp:posOffset></wp:positionH><wp:positionV relativeFrom=\"paragraph\">"
               "<wp:posOffset>400000</wp:posOffset></wp:positionV>" +
                   extent + "<wp:wrapNone/><wp:docPr id=\"2\" name=\"floating\"/>"
             : ">" + extent + "<wp:docPr id=\"1\" name=\"box\"/>") +
        "<a:graphic><a:graphicData uri=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\">"
        "<wps:wsp><wps:cNvSpPr txBox=\"1\"/><wps:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"1800000\" "
        "cy=\"400000\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></wps:spPr><wps:txbx>" +
        content + "</wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic></wp:" + place +
        "></w:drawing>";
    if (!vml)
        return "<w:r>" + drawing + "</w:r>";
    return "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\">" + drawing +
           "</mc:Choice><mc:Fallback><w:pict><v:rect style=\"" +
           (floating ? "position:absolute;margin-left:236pt;" : "") +
           "width:141.75pt;height:31.5pt\"><v:textbox>" + content +
           "</v:textbox></v:rect></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
}

Snapshot Snapshot::of(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return {file.readAll(), QFileInfo(path).lastModified()};
}

} // namespace ZipFiles
