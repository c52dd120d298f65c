#pragma once

#include "app/RuntimeError.h"

#include <QString>
#include <stdexcept>

namespace ooxml {

// The engine cannot edit this file safely (not a package it knows, a feature it
// does not edit without loss). The file itself may be fine: another engine can
// take it. reason is one short phrase for the journal.
class Declined final : public std::runtime_error
{
public:
    explicit Declined(QString reason)
        : std::runtime_error(reason.toStdString())
        , m_reason(std::move(reason))
    {}
    const QString& reason() const { return m_reason; }

private:
    QString m_reason;
};

// The failures a user reads for a package that is damaged or unsafe. No
// engine takes such a file: it is refused before anything is expanded.
namespace refusal {

RuntimeError damaged(const QString& what, const QString& detail = {});
RuntimeError unsafe(const QString& what, const QString& detail = {});
RuntimeError tooLarge(const QString& part, qint64 bytes, qint64 limit);
RuntimeError missingPart(const QString& part);
// The file could not be written; it stays as it was.
RuntimeError notSaved(const QString& detail);
// The work on the file was ended: no progress within the time-out, or busy for
// all the rounds a busy office program gets.
RuntimeError overran(int timeoutMs);
// Declined, when no other engine is there to take the file.
RuntimeError cannotEdit(const Declined& declined);

} // namespace refusal

} // namespace ooxml
