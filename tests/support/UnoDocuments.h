#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <tuple>

// Makes real office files for the tests, through LibreOffice itself, and reads them back as a user's
// LibreOffice would.
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

// Several pages, a page break before each but the first, in one page style with the given
// header and footer (none when empty); the others are left out when empty.
struct PagedDocument
{
    QStringList pages;
    QString header;
    QString footer;
    QString firstPageHeader; // the first page's own header
    QString evenPagesHeader; // the even pages' own header
};
void writePaged(const QString& path, const PagedDocument& content);

// The header and footer of the first page's page style (not a first page's own), paragraph by paragraph.
struct TextRun
{
    QString text; // a field's shown text
    bool field = false;
    QString font, asianFont;
    double size = 0, asianSize = 0;
    bool bold = false, asianBold = false;
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
HeaderFooterParagraphs readHeaderFooter(const QString& path);

// The document or workbook as a user sees it: exported to PDF by LibreOffice, its text by pdftotext
// (-layout), pages apart by form feeds. Empty when it cannot be rendered.
QString rendered(const QString& path);
// The same, one entry per page.
QStringList pages(const QString& path);
// The same pages as lines with their place, in points from the page's top left: the words
// that share a height, joined without blanks.
struct PlacedLine
{
    QString text;
    double left = 0, right = 0, top = 0, bottom = 0;
};
struct RenderedPage
{
    double width = 0, height = 0;
    QList<PlacedLine> lines;
};
QList<RenderedPage> renderLines(const QString& path);

// A document whose text carries marks around "Table": the bookmark "_Ref1" around "Table 1", the bookmark
// "whole" around the last "Table", a hyperlink on "Table web" (to http://example.com/web), and a cross-
// reference to "_Ref1" in the second paragraph: "See Table 1. Link: Table web end Table" and "Ref: ".
void writeMarkedDocument(const QString& path);

// A document with every kind of drawing object in its body and its header: body "正文 OLD"; in the body a
// picture, a text frame "框 OLD", a drawing text shape "画 OLD", a group of a text shape "组 OLD" and a line,
// a rectangle without text; in the header "页眉" a picture and a drawing text shape "眉画 OLD".
void writeShapesDocument(const QString& path);

// A document of two sections over four pages. Section 1 has a first page and even pages of its own: headers
// "首页眉 OLD" (first), "主页眉 OLD" (odd pages), "偶页眉 OLD" (even pages), footers likewise with 页脚;
// section 2 has one header "二节页眉 OLD" and one footer "二节页脚 OLD".
void writeHeadersDocument(const QString& path);

// A workbook whose cells hold hyperlinks: A1 a link "Table web", A2 "Before "
// and a link "Table link", A3 "plain Table", B3 =HYPERLINK("http://x.com";"Table f").
void writeLinkedWorkbook(const QString& path);

// What a document or workbook holds, counted through LibreOffice: tables, pictures, objects, shapes, frames,
// sections (Word's), text sections, hyperlinks, bookmarks, fields, comments (documents); sheets, formulas,
// merged, hyperlinks, shapes, comments (workbooks). Empty when LibreOffice cannot load it.
struct Inventory
{
    QMap<QString, int> counts;
    QStringList bookmarks;  // "name=text", Word's last-edit mark _GoBack left out
    QStringList hyperlinks; // "text -> address"
};
Inventory inventory(const QString& path);

// The plain text of a document or workbook by what reaches it in Word's and
// Excel's model (fields, notes and the like left out):
//   "body"             the main text with its tables;
//   "textboxes"        text frames and shapes with text anchored in it;
//   "headers-footers"  every section's primary header and footer;
//   "header-textboxes" shapes with text in section 1's primary header and footer;
//   "none"             first-page and even-page headers and footers, other header shapes;
//   "cells"            every cell's content (workbooks);
//   "pivot tables"     the cells of pivot tables, which follow from their source.
QMap<QString, QStringList> stories(const QString& path);

// An OpenDocument text with the body text whose Basic macro, bound to the
// document's load event, writes the file marker when it runs.
void writeMacroDocument(const QString& path, const QString& body, const QString& marker);
// Loads the file with its macros allowed, as a careless user would, and closes
// it once marker exists (or after some seconds); whether it came.
bool openRunningMacros(const QString& path, const QString& marker);

// A .doc or .docx (by the path's extension) that records changes, with a
// change already recorded: the paragraphs
//   "The Lifecycle of a Project" (the bookmark "title" and a hyperlink to
//       http://example.com/p around "Project"),
//   "Every project ends; old project notes stay." ("old project notes "
//       deleted as a recorded change),
// then a table of one cell "project plan", and the header "Project header".
void writeTrackedDocument(const QString& path);

// A document with its recorded changes all accepted (or all rejected), read
// through LibreOffice: what a user sees then, its inventory included.
struct Settled : Inventory
{
    bool loaded = false;
    QStringList changes;    // before settling: each change as "Delete:text" / "Insert:text", sorted
    QStringList paragraphs; // the body's paragraphs, tables' cells included
    QString header;         // the first page style's header
    QString rendered;       // the settled document's pages (PDF export and pdftotext)
};
Settled settleChanges(const QString& path, bool accept);

// A document loaded with an interaction handler that records every question the load asks (a repair
// prompt, a password) instead of answering it.
struct Document
{
    bool loaded = false;
    QStringList requests; // the questions asked while loading
    QString body;
    QStringList headers; // every header and footer text of every page style, sorted, without repeats
    QStringList footers;
    QStringList frames; // the text frames' texts, sorted
};
Document readDocument(const QString& path);

struct Sheet
{
    QString name;
    QStringList cells; // "R3C2=text" for each cell of the used area that shows text
};
struct Workbook
{
    bool loaded = false;
    QStringList requests;
    QList<Sheet> sheets;
};
Workbook readWorkbook(const QString& path);

// Stores a copy of the document in another format (filter: "MS Word 97" ...).
bool saveAs(const QString& path, const QString& target, const QString& filter);

// Ends the LibreOffice that makes and reads the files.
void shutdown();

} // namespace UnoDocuments
