#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

class Batch;

// The word processor as the document jobs drive it: the members of Word's
// object model that they call, with Word's meaning. Engines: Microsoft Word and
// WPS over COM, LibreOffice Writer over UNO, and an in-memory double for tests.
// Every call may throw RuntimeError (the office program failed, timed out or
// refused the file).
namespace word {

// Word's replace-all: Find.Execute FindText:=, ReplaceWith:=, Replace:=wdReplaceAll (2).
inline constexpr qint16 kReplaceAll = 2;
// ActiveWindow.ActivePane.View.SeekView values.
inline constexpr qint16 kSeekMainDocument = 0;
inline constexpr qint16 kSeekCurrentPageHeader = 9;
inline constexpr qint16 kSeekCurrentPageFooter = 10;
// Document.Close SaveChanges:= wdDoNotSaveChanges.
inline constexpr qint16 kDoNotSaveChanges = 0;
// Fields.Add Type:= for the page number.
inline constexpr qint16 kFieldPage = 33;
// ParagraphFormat.Alignment values the jobs write.
inline constexpr int kAlignCenter = 1;
inline constexpr int kAlignRight = 2;
inline constexpr int kAlignJustify = 3;

class Range
{
public:
    virtual ~Range() = default;
    // Find.Execute with the text alone: whether it occurs in the range (as Word
    // searches by default: any letter case).
    virtual bool findExecute(const QString& text) = 0;
    // Find.Execute findtext:=, replacewith:=, Replace:=2: every occurrence in the range.
    virtual void replaceAll(const QString& findText, const QString& replaceWith) = 0;
    virtual void Delete() = 0;
    // The range's text, for checks.
    virtual QString text() = 0;
};
using RangePtr = std::shared_ptr<Range>;

class Shape
{
public:
    virtual ~Shape() = default;
    virtual RangePtr textFrameTextRange() = 0; // TextFrame.TextRange
};
using ShapePtr = std::shared_ptr<Shape>;

class HeaderFooter
{
public:
    virtual ~HeaderFooter() = default;
    virtual RangePtr range() = 0;
    virtual QList<ShapePtr> shapes() = 0;
};
using HeaderFooterPtr = std::shared_ptr<HeaderFooter>;

class Section
{
public:
    virtual ~Section() = default;
    // Index 1 is the primary header or footer.
    virtual HeaderFooterPtr headers(qint16 index) = 0;
    virtual HeaderFooterPtr footers(qint16 index) = 0;
};
using SectionPtr = std::shared_ptr<Section>;

class Document
{
public:
    virtual ~Document() = default;
    virtual QString fullName() = 0;
    // The main text only: not headers, footers or text boxes.
    virtual RangePtr content() = 0;
    // The drawing objects with text anchored in the main text.
    virtual QList<ShapePtr> shapes() = 0;
    virtual QList<SectionPtr> sections() = 0;
    // Writes the file in place, in its own format.
    virtual void save() = 0;
    // Close SaveChanges:=wdDoNotSaveChanges: what was not saved is dropped, and
    // no office program asks about it.
    virtual void close() = 0;
};
using DocumentPtr = std::shared_ptr<Document>;

// The selection of the active document's window.
class Selection
{
public:
    virtual ~Selection() = default;
    // Selection.Find.Execute in its replace-all form: in the story the view shows.
    virtual void findReplaceAll(const QString& findText, const QString& replaceWith) = 0;
    virtual void typeText(const QString& text) = 0;
    virtual void setFontName(const QString& name) = 0;
    // Font.Size takes the text of the size box.
    virtual void setFontSize(const QString& size) = 0;
    virtual void setFontBold(bool bold) = 0;
    virtual void setParagraphAlignment(int alignment) = 0;
    // Fields.Add Range:=Selection.Range, Type:=type.
    virtual void fieldsAdd(qint16 type) = 0;
    virtual QList<SectionPtr> sections() = 0;
};
using SelectionPtr = std::shared_ptr<Selection>;

class Application
{
public:
    virtual ~Application() = default;
    // Documents.Open: the opened document becomes the active one.
    virtual DocumentPtr documentsOpen(const QString& path) = 0;
    virtual QList<DocumentPtr> documents() = 0;
    // ActiveWindow.ActivePane.View.SeekView of the active document.
    virtual void setSeekView(qint16 view) = 0;
    virtual SelectionPtr selection() = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void setDisplayAlerts(int alerts) = 0;
    // Ends the instance; the documents it still has open are closed.
    virtual void quit() = 0;
};
using ApplicationPtr = std::unique_ptr<Application>;

// Creates word-processor instances by program identifier ("word.Application",
// "ET.Application" ...), without regard to letter case. The jobs get one; the
// office registry is the machine's, tests hand in one in memory.
class Factory
{
public:
    virtual ~Factory() = default;
    // RuntimeError CannotCreateObject (429) when the identifier names no program
    // that can be driven here.
    virtual ApplicationPtr createWordProcessor(const QString& progId) = 0;
    // Where the engines write what the journal keeps about their own choices (a
    // file handed from one engine to another, and why); set for a job's run.
    virtual void setJournal(std::function<void(const QString&)> journal) { (void)journal; }
};

// WPS writer: "ET.Application", or "KET.Application" when that one cannot be created (429).
ApplicationPtr createWps(Factory& factory);

// Documents.Open of a file a job will change: none, reported, when the file is
// read-only or cannot be opened.
DocumentPtr openForChange(Batch& batch, Application& application, const QString& path);

} // namespace word
