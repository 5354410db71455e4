#pragma once

#include <QString>

#include <optional>

// An open language database as the translation engine sees it. The concrete
// databases (SQLite table, text language file) implement this; the engine only
// asks for single texts.
class LanguageSource
{
public:
    virtual ~LanguageSource() = default;

    // The foreign text of the first row whose native text equals `native`, or
    // nullopt when no row holds it. A row the database marks as skipped returns
    // the native text itself; an empty value is returned as it is (the engine
    // falls back to the native text).
    virtual std::optional<QString> lookup(const QString& native) const = 0;

    // Debug mode only: true when `text` is already present as a foreign text,
    // so that a text translated before reaching GetS is not exported.
    virtual bool containsForeign(const QString& text) const
    {
        Q_UNUSED(text);
        return false;
    }
    // Debug mode only: collects a native text the database does not hold yet, so
    // a developer's database gathers every missing text.
    virtual void exportMissing(const QString& native) { Q_UNUSED(native); }

    // Read-only views of a loaded text database (empty for other kinds).
    virtual int phraseCount() const { return 0; }
    virtual QString nativeText(int index) const
    {
        Q_UNUSED(index);
        return {};
    }
    virtual QString foreignText(int index) const
    {
        Q_UNUSED(index);
        return {};
    }
    virtual QString textDbVersion() const { return {}; }
    virtual QString localeId() const { return {}; }
};
