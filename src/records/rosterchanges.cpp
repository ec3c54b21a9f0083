#include "records/rosterchanges.h"

#include "core/numericvalue.h"
#include "records/cp932.h"
#include "records/datafile.h"
#include "records/roster.h"

#include <QCryptographicHash>
#include <QHash>

#include <algorithm>
#include <climits>
#include <numeric>

namespace {

const QByteArray kFirstLine = QByteArrayLiteral("Quorin roster changes 1");

QByteArray kindWord(RosterChange::Kind kind) {
    switch (kind) {
    case RosterChange::Kind::Remove:
        return "remove";
    case RosterChange::Kind::Rename:
        return "rename";
    case RosterChange::Kind::Lower:
        return "lower";
    case RosterChange::Kind::Order:
        return "order";
    }
    return {};
}

// The pupil lines of a roster file: each line's bytes and cells, the header apart.
struct Pupils {
    QByteArray header;
    QList<QByteArray> raw;
    QList<RosterRow> rows;
};

Pupils pupilsOf(const QByteArray &roster) {
    const RosterRead read = parseRoster(roster);
    Pupils p;
    if (read.rows.isEmpty())
        return p;
    p.header = read.rawRows[0];
    p.raw = read.rawRows.mid(1);
    p.rows = read.rows.mid(1);
    return p;
}

int indexOf(const Pupils &p, const QString &name) {
    for (int i = 0; i < p.rows.size(); ++i)
        if (p.rows[i][0] == name)
            return i;
    return -1;
}

// A line written again from its cells; nothing when a cell cannot be written.
void rewrite(Pupils &p, int i) {
    QStringList cells(p.rows[i].cbegin(), p.rows[i].cend());
    if (const auto bytes = encodeCp932(cells.join(u';')))
        p.raw[i] = *bytes;
}

QByteArray idOf(const QByteArray &before, const QByteArray &after, const QByteArray &what) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(before);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(after);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(what);
    return hash.result().toHex().left(16);
}

// A plain loop: every save reads hundreds of these, and the debug build runs the tests.
bool validId(QByteArrayView id) {
    if (id.size() < 8 || id.size() > 32)
        return false;
    for (const char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

QByteArray rosterHash(const QByteArray &roster) {
    return QCryptographicHash::hash(roster, QCryptographicHash::Sha256).toHex();
}

RosterChanges parseRosterChanges(const QByteArray &file) {
    RosterChanges out;
    const QList<RawLine> lines = splitRawLines(file);
    if (lines.isEmpty() || lines[0].bytes != kFirstLine)
        return out;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].bytes.split(';');
        if (fields.size() == 2 && fields[0] == "roster") {
            if (fields[1].size() == 64 && validId(QByteArrayView(fields[1]).first(32)) &&
                validId(QByteArrayView(fields[1]).sliced(32)))
                out.rosterHashes.append(fields[1]);
            continue;
        }
        if (fields.size() < 3 || !validId(fields[0]))
            continue;
        RosterChange change;
        change.id = fields[0];
        QStringList texts;
        bool readable = true;
        for (qsizetype f = 2; f < fields.size() && readable; ++f) {
            const auto text = decodeCp932(fields[f]);
            readable = text && !text->isEmpty();
            texts.append(text.value_or(QString()));
        }
        if (!readable)
            continue;
        const QByteArray &kind = fields[1];
        if (kind == "remove" && texts.size() == 1) {
            change.kind = RosterChange::Kind::Remove;
            change.names = texts;
        } else if (kind == "rename" && texts.size() == 2) {
            change.kind = RosterChange::Kind::Rename;
            change.names = texts;
        } else if (kind == "lower" && texts.size() == 4) {
            change.kind = RosterChange::Kind::Lower;
            change.names = {texts[0]};
            change.column = texts[1].toInt();
            change.before = texts[2];
            change.after = texts[3];
            if (change.column < 1 || change.column >= kRosterCells)
                continue;
        } else if (kind == "order" && texts.size() <= kRosterRows) {
            change.kind = RosterChange::Kind::Order;
            change.names = texts;
        } else {
            continue;
        }
        out.changes.append(change);
    }
    if (out.changes.size() > kMaxRosterChanges)
        out.changes = out.changes.mid(out.changes.size() - kMaxRosterChanges);
    if (out.rosterHashes.size() > kMaxRosterHashes)
        out.rosterHashes = out.rosterHashes.mid(out.rosterHashes.size() - kMaxRosterHashes);
    return out;
}

RosterChanges parseRosterChanges(const QByteArray &file, const QByteArray &knownBytes,
                                 const RosterChanges &known) {
    if (!knownBytes.startsWith(kFirstLine + kLineEnd) || !knownBytes.endsWith('\n') ||
        !file.startsWith(knownBytes))
        return parseRosterChanges(file);
    const RosterChanges more =
        parseRosterChanges(kFirstLine + kLineEnd + file.sliced(knownBytes.size()));
    RosterChanges out = known;
    out.changes += more.changes;
    out.rosterHashes += more.rosterHashes;
    if (out.changes.size() > kMaxRosterChanges)
        out.changes = out.changes.mid(out.changes.size() - kMaxRosterChanges);
    if (out.rosterHashes.size() > kMaxRosterHashes)
        out.rosterHashes = out.rosterHashes.mid(out.rosterHashes.size() - kMaxRosterHashes);
    return out;
}

QByteArray rosterChangesBytes(const RosterChanges &changes) {
    return kFirstLine + kLineEnd + rosterChangeLines(changes.changes, changes.rosterHashes);
}

QByteArray rosterChangeLines(const QList<RosterChange> &changes, const QList<QByteArray> &hashes) {
    QByteArray out;
    for (const QByteArray &hash : hashes)
        out += "roster;" + hash + kLineEnd;
    for (const RosterChange &change : changes) {
        QStringList texts = change.names;
        if (change.kind == RosterChange::Kind::Lower)
            texts << QString::number(change.column) << change.before << change.after;
        const auto encoded = encodeCp932(texts.join(u';'));
        if (encoded)
            out += change.id + ';' + kindWord(change.kind) + ';' + *encoded + kLineEnd;
    }
    return out;
}

QList<RosterChange> rosterChangesBetween(const QByteArray &before, const QByteArray &after,
                                         const QList<QPair<QString, QString>> &renamed) {
    const Pupils was = pupilsOf(before), now = pupilsOf(after);
    QList<RosterChange> out;
    const auto add = [&](RosterChange change) {
        QByteArray what = kindWord(change.kind) + ';' + change.names.join(u';').toUtf8() + ';' +
                          QByteArray::number(change.column);
        change.id = idOf(before, after, what);
        out.append(change);
    };
    QStringList common;
    for (int i = 0; i < was.rows.size(); ++i) {
        const QString &name = was.rows[i][0];
        if (indexOf(was, name) != i)
            continue; // a name listed twice: its first line speaks for it
        const int j = indexOf(now, name);
        if (j < 0) {
            const auto to = std::find_if(renamed.cbegin(), renamed.cend(),
                                         [&name](const auto &r) { return r.first == name; });
            if (to != renamed.cend() && indexOf(now, to->second) >= 0)
                add({{}, RosterChange::Kind::Rename, {name, to->second}, 0, {}, {}});
            else
                add({{}, RosterChange::Kind::Remove, {name}, 0, {}, {}});
            continue;
        }
        common.append(name);
        for (int c = 1; c < kRosterCells; ++c)
            if (numericValue(now.rows[j][c]) < numericValue(was.rows[i][c]))
                add({{}, RosterChange::Kind::Lower, {name}, c, was.rows[i][c], now.rows[j][c]});
    }
    QStringList newOrder;
    for (int j = 0; j < now.rows.size(); ++j)
        if (common.contains(now.rows[j][0]) && !newOrder.contains(now.rows[j][0]))
            newOrder.append(now.rows[j][0]);
    if (newOrder != common) {
        QStringList order;
        for (const RosterRow &row : now.rows)
            if (!order.contains(row[0]))
                order.append(row[0]);
        add({{}, RosterChange::Kind::Order, order, 0, {}, {}});
    }
    return out;
}

QByteArray applyRosterChanges(const QByteArray &roster, const QList<RosterChange> &changes) {
    Pupils p = pupilsOf(roster);
    if (p.header.isEmpty() && p.rows.isEmpty())
        return roster;
    for (const RosterChange &change : changes) {
        const QString &name = change.names.value(0);
        switch (change.kind) {
        case RosterChange::Kind::Remove:
            for (int i = int(p.rows.size()) - 1; i >= 0; --i)
                if (p.rows[i][0] == name)
                    p.rows.removeAt(i), p.raw.removeAt(i);
            break;
        case RosterChange::Kind::Rename: {
            const int from = indexOf(p, name), to = indexOf(p, change.names.value(1));
            if (from < 0)
                break;
            if (to < 0) {
                p.rows[from][0] = change.names.value(1);
                rewrite(p, from);
                break;
            }
            for (int c = 1; c < kRosterCells; ++c)
                if (numericValue(p.rows[from][c]) > numericValue(p.rows[to][c]))
                    p.rows[to][c] = p.rows[from][c];
            rewrite(p, to);
            p.rows.removeAt(from), p.raw.removeAt(from);
            break;
        }
        case RosterChange::Kind::Lower: {
            const int i = indexOf(p, name);
            if (i < 0)
                break;
            const double held = numericValue(p.rows[i][change.column]);
            // A count raised beyond the one lowered was earned since: it stays.
            if (held <= numericValue(change.before) && held > numericValue(change.after)) {
                p.rows[i][change.column] = change.after;
                rewrite(p, i);
            }
            break;
        }
        case RosterChange::Kind::Order: {
            QHash<QString, int> rank;
            for (int k = 0; k < change.names.size(); ++k)
                rank.insert(change.names[k], k);
            QList<int> at(p.rows.size());
            std::iota(at.begin(), at.end(), 0);
            std::stable_sort(at.begin(), at.end(), [&](int a, int b) {
                return rank.value(p.rows[a][0], INT_MAX) < rank.value(p.rows[b][0], INT_MAX);
            });
            Pupils sorted{p.header, {}, {}};
            for (int k : at)
                sorted.raw.append(p.raw[k]), sorted.rows.append(p.rows[k]);
            p = sorted;
            break;
        }
        }
    }
    QByteArray out = p.header + kLineEnd;
    for (const QByteArray &line : p.raw)
        out += line + kLineEnd;
    return out;
}

QList<RosterChange> newRosterChanges(const RosterChanges &changes,
                                     const QList<RosterChange> &more) {
    QSet<QByteArray> known;
    for (const RosterChange &change : changes.changes)
        known.insert(change.id);
    QList<RosterChange> out;
    for (const RosterChange &change : more)
        if (!known.contains(change.id)) {
            known.insert(change.id);
            out.append(change);
        }
    return out;
}

RosterDrop rosterDrop(const QByteArray &before, const QByteArray &after) {
    RosterDrop drop;
    const Pupils was = pupilsOf(before);
    const Pupils now = pupilsOf(after);
    for (const RosterRow &row : was.rows) {
        if (std::none_of(row.begin() + 1, row.end(),
                         [](const QString &cell) { return numericValue(cell) > 0; }))
            continue;
        ++drop.withRuns;
        if (indexOf(now, row[0]) < 0)
            ++drop.dropped;
    }
    return drop;
}
