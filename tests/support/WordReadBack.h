#pragma once

#include "office/OfficeRegistry.h"

#include <QString>
#include <QStringList>

// What a saved document holds, read back through the engine the registry
// chooses: the body, the text boxes, each section's primary header and footer,
// and the first text box of the first header.
struct WordState
{
    QString body;
    QStringList boxes;
    QStringList headers;
    QStringList footers;
    QString headerBox;
};

inline WordState readBack(const QString& path)
{
    WordState state;
    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    word::DocumentPtr document = word->documentsOpen(path);
    state.body = document->content()->text();
    for (const word::ShapePtr& shape : document->shapes())
        state.boxes << shape->textFrameTextRange()->text();
    for (const word::SectionPtr& section : document->sections()) {
        state.headers << section->headers(1)->range()->text();
        state.footers << section->footers(1)->range()->text();
    }
    const QList<word::ShapePtr> headerShapes = document->sections().at(0)->headers(1)->shapes();
    if (!headerShapes.isEmpty())
        state.headerBox = headerShapes.first()->textFrameTextRange()->text();
    word->quit();
    return state;
}
