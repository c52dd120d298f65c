#pragma once

#include "Markup.h"
#include "TextRuns.h"

#include <QList>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace ooxml {

// A story of a WordprocessingML document: the body, a header or footer part,
// or the text boxes of one drawing object (the drawing's own and its VML
// fallback's, which hold the same text and change alike).
struct Story
{
    QString part;   // empty: a header or footer that the section does not have yet
    int shape = -1; // >= 0: that drawing object's text boxes, in part's main story
    // For a missing header or footer: where it would be made.
    int section = -1;
    QString type; // "default", "first", "even"
    bool header = true;

    bool exists() const { return !part.isEmpty(); }
};

// Character formatting for typed text; unset members keep what the place has.
struct Font
{
    std::optional<QString> name;
    std::optional<double> points;
    std::optional<bool> bold;
};

// Where typed text goes: a paragraph of a story and the position among its
// child elements.
struct Cursor
{
    Story story;
    int paragraph = 0;
    int child = -1;     // -1: after the paragraph's properties
    int generation = 0; // a story emptied since makes the cursor go back to its start
};

// A .docx, .docm or .dotx, edited in its XML: Word's find and replace over
// text spread across runs, the sections with their headers and footers, the
// text boxes, and typing at a cursor. Only parts that change are written.
class WordFile final
{
public:
    // Opens and checks the package. Declined: a document this engine does not
    // edit without loss (embedded documents). RuntimeError: damaged or unsafe,
    // or in the Strict vocabulary. A document with change tracking on gets its
    // replacements recorded as tracked changes, as Word records them.
    explicit WordFile(QString path, Limits limits = {});
    ~WordFile();

    Story body();
    // The drawing objects with text boxes of part's main story (the document
    // part for the body), floating or in line with the text, in document order.
    int shapeCount(const QString& part);
    Story shape(const QString& part, int index);

    int sectionCount();
    // The header (or footer) of a section: index 1 primary, 2 first page, 3
    // even pages; inherited from the section before when it has none of its own.
    Story headerFooter(int section, int index, bool header);
    // The header or footer of the first page, where the view goes after opening.
    Story firstPageHeaderFooter(bool header);

    bool find(const Story& story, const QString& text);
    int replace(const Story& story, const QString& what, const QString& replacement);
    // Empties the story, keeping one empty paragraph.
    void clear(const Story& story);
    int generation() const { return m_generation; }
    QString text(const Story& story);

    void typeText(Cursor& cursor, const QString& text, const Font& font);
    void addPageField(Cursor& cursor, const Font& font);
    // ParagraphFormat.Alignment of the cursor's paragraph: 0 left, 1 centre, 2 right, 3 justified.
    void align(Cursor& cursor, int alignment);

    // Writes the changed parts in place; false when nothing changed.
    bool save();

private:
    struct Vocabulary;
    struct ShapeNodes
    {
        std::vector<pugi::xml_node> boxes; // the w:txbxContent of the object and of its fallback
    };

    // The package and its stories.
    Package& package();
    void check(Package& package);
    void forget();
    XmlPart& part(const QString& name);
    const Vocabulary& words(const QString& part);
    std::vector<pugi::xml_node> containers(const Story& story);
    const std::vector<ShapeNodes>& shapesOf(const QString& part);
    const std::vector<pugi::xml_node>& sectionProperties();
    QString referencedPart(pugi::xml_node sectPr, const QString& type, bool header);
    bool differentFirstPage(pugi::xml_node sectPr);
    std::vector<pugi::xml_node> paragraphs(const Story& story);
    // The main part's relationships, by id (cached until a part is added).
    const std::map<QString, QString>& mainTargets();
    void forgetStructure();

    // Change tracking: every occurrence's old text in one deletion, the new
    // text in one insertion after it.
    int replaceTracked(const QString& partName, std::vector<Piece>& pieces, const QString& what,
                       const QString& replacement);
    pugi::xml_node isolate(const Vocabulary& v, Piece& piece, qsizetype from, qsizetype to);
    // A tracked change of kind ("ins", "del") before the node; with a parent
    // given, before the node in it or, with no node, as its last child. Its id
    // is new in the whole document.
    pugi::xml_node revision(const QString& partName, pugi::xml_node before, const char* kind,
                            pugi::xml_node parent = {});
    void clearTracked(const Story& story);

    // Typing.
    Story make(const Story& story);
    pugi::xml_node paragraphAt(Cursor& cursor);
    pugi::xml_node newRun(const QString& partName, pugi::xml_node paragraph, int child, const Font& font);

    markup::LazyPackage m_package;
    QString m_mainPart;
    std::map<QString, std::unique_ptr<Vocabulary>> m_words;
    std::map<QString, std::vector<ShapeNodes>> m_shapes;
    int m_generation = 0;
    std::optional<std::vector<pugi::xml_node>> m_sections;
    std::optional<std::map<QString, QString>> m_mainTargets;
    bool m_tracking = false;
    QByteArray m_revisionDate;
    long long m_nextRevisionId = 0; // one counter for the whole package; 0 until seeded
};

} // namespace ooxml
