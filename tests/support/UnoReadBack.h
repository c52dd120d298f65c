#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reads documents back through LibreOffice as a user would see them, with an
// interaction handler that records every question the load asks (a repair
// prompt, a password) instead of answering it.
namespace UnoReadBack {

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
    QStringList cells; // "B3=text" for each cell of the used area that shows text
};
struct Workbook
{
    bool loaded = false;
    QStringList requests;
    QList<Sheet> sheets;
};
Workbook readWorkbook(const QString& path);

// A document after every recorded change is accepted (or rejected), as
// LibreOffice's Edit > Track Changes does it: the body, the bookmarks
// ("name=text"), the hyperlinks ("text -> address") and the pages as rendered
// (PDF export and pdftotext). The file itself is not written.
struct Resolved
{
    bool loaded = false;
    int changes = 0; // the changes recorded before they were resolved
    QString body;
    QStringList bookmarks;
    QStringList hyperlinks;
    QStringList pages;
};
Resolved resolveChanges(const QString& path, bool accept);

// Stores a copy of the document in another format (filter: "MS Word 97" ...).
bool saveAs(const QString& path, const QString& target, const QString& filter);

// The pages' text through LibreOffice's PDF export and pdftotext, one entry per page.
QStringList pages(const QString& path);

// Ends the LibreOffice that read the files.
void shutdown();

} // namespace UnoReadBack
