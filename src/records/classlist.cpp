#include "records/classlist.h"

#include "core/numericvalue.h"
#include "records/cp932.h"
#include "records/pupilname.h"

#include <QCollator>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>

namespace {

constexpr int kMaxPupils = kRosterRows - 2; // rows 1..99; row 100 is never a new pupil's

QString refusal(const QString &name, const NameCheck &check) {
    switch (check.problem) {
    case NameProblem::None:
        break;
    case NameProblem::NotEncodable:
        return QStringLiteral("「%1」：「%2」の字は名簿ファイルに書けません。")
            .arg(name, check.offending);
    default:
        return QStringLiteral("「%1」：名前に使えない文字（; や改行など）があります。").arg(name);
    }
    return QString();
}

bool listed(const QList<RosterRow> &pupils, const QString &name, int except = -1) {
    for (int i = 0; i < pupils.size(); ++i)
        if (i != except && pupils[i][0] == name)
            return true;
    return false;
}

QString zero() {
    return QStringLiteral("0");
}

} // namespace

QStringList pastedNames(const QString &text) {
    QStringList names;
    for (const QString &line : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QString name = typedPupilName(line.section(u'\t', 0, 0));
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

QString classListFileText(const QByteArray &bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp932(bytes).value_or(text);
}

ClassListChange addPupils(const QList<RosterRow> &pupils, const QStringList &names) {
    ClassListChange out{pupils, {}, {}};
    for (const QString &typed : names) {
        const NameCheck check = checkPupilName(typed);
        const QString name = check.problem == NameProblem::None ? check.name : typed;
        if (check.problem != NameProblem::None)
            out.refusals.append(refusal(typed, check));
        else if (listed(out.pupils, name))
            out.refusals.append(QStringLiteral("「%1」はもう名簿にあります。").arg(name));
        else if (out.pupils.size() >= kMaxPupils)
            out.refusals.append(
                QStringLiteral("「%1」：名簿はもう%2人でいっぱいです。").arg(name).arg(kMaxPupils));
        else {
            out.pupils.append({name, zero(), zero(), zero(), zero()});
            out.done.append(name);
        }
    }
    return out;
}

ClassListChange renamePupil(const QList<RosterRow> &pupils, int index, const QString &typed) {
    ClassListChange out{pupils, {}, {}};
    const NameCheck check = checkPupilName(typed);
    if (check.problem != NameProblem::None)
        out.refusals.append(refusal(typed, check));
    else if (check.name.isEmpty())
        out.refusals.append(QStringLiteral("名前がからです。"));
    else if (listed(pupils, check.name, index))
        out.refusals.append(QStringLiteral("「%1」はもう名簿にあります。").arg(check.name));
    else if (index >= 0 && index < pupils.size()) {
        out.pupils[index][0] = check.name;
        out.done.append(check.name);
    }
    return out;
}

QList<RosterRow> mergePupils(const QList<RosterRow> &pupils, int keep, int other) {
    QList<RosterRow> out = pupils;
    if (keep == other || keep < 0 || other < 0 || keep >= out.size() || other >= out.size())
        return out;
    for (int c = 1; c < kRosterCells; ++c)
        if (numericValue(out[other][c]) > numericValue(out[keep][c]))
            out[keep][c] = out[other][c];
    out.removeAt(other);
    return out;
}

QList<RosterRow> sortedByReading(const QList<RosterRow> &pupils) {
    const auto hasKanji = [](const QString &name) {
        return std::any_of(name.begin(), name.end(),
                           [](QChar c) { return c.script() == QChar::Script_Han; });
    };
    const auto reading = [](const QString &name) {
        QString text = name;
        for (QChar &c : text)
            if (c.unicode() >= 0x30A1 && c.unicode() <= 0x30F6) // katakana as hiragana
                c = QChar(c.unicode() - 0x60);
        return text;
    };
    QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
    QList<RosterRow> out = pupils;
    std::stable_sort(out.begin(), out.end(), [&](const RosterRow &a, const RosterRow &b) {
        const bool ka = hasKanji(a[0]), kb = hasKanji(b[0]);
        if (ka || kb)
            return !ka && kb;
        return collator.compare(reading(a[0]), reading(b[0])) < 0;
    });
    return out;
}

QList<RosterRow> restoredClassList(const QList<RosterRow> &current,
                                   const QList<RosterRow> &version) {
    QList<RosterRow> out;
    QList<bool> taken(current.size(), false);
    for (RosterRow row : version) {
        if (row[0].isEmpty() ||
            std::any_of(out.begin(), out.end(), [&](const RosterRow &r) { return r[0] == row[0]; }))
            continue;
        for (qsizetype i = 0; i < current.size(); ++i) {
            if (taken[i] || current[i][0] != row[0])
                continue;
            taken[i] = true;
            for (int c = 1; c < kRosterCells; ++c)
                if (numericValue(current[i][c]) >= numericValue(row[c]))
                    row[c] = current[i][c];
            break;
        }
        out.append(row);
    }
    for (qsizetype i = 0; i < current.size(); ++i)
        if (!taken[i])
            out.append(current[i]);
    return out;
}
