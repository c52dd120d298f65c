#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <tuple>

// Makes real office files for the tests, through LibreOffice itself.
namespace UnoDocuments {

struct WordContent
{
    QStringList body;      // paragraphs of the first section
    QStringList textBoxes; // text boxes anchored in the body
    QStringList headers;   // one per section (three sections when three are given)
    QStringList footers;   // as many as headers
    QString headerTextBox; // a text box in the first section's header, when not empty
};

// Writes a .doc or .docx (by the path's extension). With a password, encrypted.
void writeDocument(const QString& path, const WordContent& content, const QString& password = QString());

// Writes a .xls or .xlsx with one sheet per entry: name and cells (row, column, text; 1-based).
struct SheetContent
{
    QString name;
    QList<std::tuple<int, int, QString>> cells;
    bool protectedSheet = false; // protected without a password
};
void writeWorkbook(const QString& path, const QList<SheetContent>& sheets);

// What a user sees: the file opened and exported as PDF (every sheet of a workbook).
void exportPdf(const QString& path, const QString& pdf);
// A document of several pages, a page break before each but the first, in one
// page style with the given header and footer (none when empty).
struct PagedDocument
{
    QStringList pages;
    QString header;
    QString footer;
    QString firstPageHeader;  // a first page with a header of its own, when not empty
    QString evenPagesHeader;  // even pages with a header of their own, when not empty
    QString drawingTextShape; // a drawing shape with this text (not a text frame) in the body, when not empty
};
void writePaged(const QString& path, const PagedDocument& content);

// A saved document's header or footer as read back, paragraph by paragraph.
struct TextRun
{
    QString text; // a field's shown text
    bool field = false;
    QString font;
    QString asianFont;
    double size = 0;
    double asianSize = 0;
    bool bold = false;
    bool asianBold = false;
};
struct Paragraph
{
    QString text;
    QString alignment; // left, center, right, justified
    QList<TextRun> runs;
};
struct HeaderFooterParagraphs
{
    QList<Paragraph> header;
    QList<Paragraph> footer;
};
// The header and footer of the first page's page style (a first page's own ones are not read).
HeaderFooterParagraphs readHeaderFooter(const QString& path);

// What each page shows when rendered: the document exported to PDF by LibreOffice,
// then the text of each page as pdftotext reads it.
QStringList renderPages(const QString& path);
// The same pages as lines of text with their place, in points from the page's top left:
// the words that share a height, joined without blanks.
struct PlacedLine
{
    QString text;
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;
};
struct RenderedPage
{
    double width = 0;
    double height = 0;
    QList<PlacedLine> lines;
};
QList<RenderedPage> renderLines(const QString& path);

// Ends the LibreOffice that made the files.
void shutdown();

} // namespace UnoDocuments
