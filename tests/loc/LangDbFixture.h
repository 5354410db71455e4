#pragma once

#include "loc/LanguageDatabase.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <initializer_list>

// A language database with the program's table and the given rows.
struct LangRow
{
    QString native;
    QVariant german; // null: untranslated
    bool skip = false;
    bool used = false;
};

inline bool makeLanguageDb(const QString& path, std::initializer_list<LangRow> rows,
                           const QString& table = QStringLiteral("resstrings"))
{
    if (!LanguageDatabase::create(path, table, nullptr))
        return false;
    bool ok = true;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO ") + table +
                       QStringLiteral(" (Native, German, bSkip, bIsUsed) VALUES (?, ?, ?, ?)"));
        for (const LangRow& row : rows) {
            insert.addBindValue(row.native);
            insert.addBindValue(row.german);
            insert.addBindValue(row.skip ? 1 : 0);
            insert.addBindValue(row.used ? 1 : 0);
            ok = ok && insert.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
    return ok;
}

// Runs one statement on a database file outside the engine; the first column
// of every row comes back.
inline QVariantList querySql(const QString& path, const QString& sql)
{
    QVariantList values;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql)) {
                while (query.next())
                    values.append(query.value(0));
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
    return values;
}
