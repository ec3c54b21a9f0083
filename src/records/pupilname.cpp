#include "records/pupilname.h"

#include "records/cp932.h"

namespace {

bool isLineBreak(char32_t c) {
    return c == U'\r' || c == U'\n' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// One character as a string. QString::fromUcs4 would take a leading U+FEFF for a byte-order
// mark and drop it, and the check would then pass a character the files cannot hold.
QString oneCharacter(char32_t c) {
    return QChar::fromUcs4(c).operator QStringView().toString();
}

} // namespace

NameCheck nameProblem(const QString &name) {
    NameCheck check;
    check.name = name;
    const auto fail = [&](NameProblem problem, char32_t c) {
        check.problem = problem;
        check.offending = oneCharacter(c);
        return check;
    };
    for (char32_t c : name.toUcs4()) {
        if (c == U';')
            return fail(NameProblem::Separator, c);
        if (isLineBreak(c))
            return fail(NameProblem::LineBreak, c);
        if (QChar::category(c) == QChar::Other_Control)
            return fail(NameProblem::ControlCharacter, c);
    }
    // Checked character by character so the message can show the one that does not fit.
    for (char32_t c : name.toUcs4()) {
        if (!isCp932Encodable(oneCharacter(c)))
            return fail(NameProblem::NotEncodable, c);
    }
    return check;
}

QString typedPupilName(const QString &typed) {
    const auto space = [](QChar c) { return c == u' ' || c == u'\u3000'; };
    qsizetype first = 0, end = typed.size();
    while (first < end && space(typed[first]))
        ++first;
    while (end > first && space(typed[end - 1]))
        --end;
    return typed.mid(first, end - first);
}

NameCheck checkPupilName(const QString &typedText) {
    const QString typed = typedPupilName(typedText);
    // Composition would turn code page 932's compatibility kanji (塚 FA 9C, 凞, Å ...) into
    // other characters, so a name the files can hold is kept exactly as typed. Only a name
    // they cannot hold is composed (か and a separate ゛ become が), when that helps.
    const NameCheck asTyped = nameProblem(typed);
    if (asTyped.problem != NameProblem::NotEncodable)
        return asTyped;
    const NameCheck composed = nameProblem(typed.normalized(QString::NormalizationForm_C));
    return composed.problem == NameProblem::None ? composed : asTyped;
}

QString nameProblemMessage(const NameCheck &check) {
    switch (check.problem) {
    case NameProblem::None:
        break;
    case NameProblem::Separator:
        return QStringLiteral("なまえに「;」は　つかえません。\n"
                              "「;」を　けして、もういちど　いれてね。");
    case NameProblem::LineBreak:
    case NameProblem::ControlCharacter:
        return QStringLiteral("なまえに　つかえない　きごうが　はいっています。\n"
                              "もういちど　いれてね。");
    case NameProblem::NotEncodable:
        return QStringLiteral("「") + check.offending +
               QStringLiteral("」は　なまえに　つかえない　じです。\n"
                              "ほかの　じで　いれてね。");
    }
    return QString();
}

QString notOnClassListMessage() {
    return QStringLiteral("めいぼに ない なまえです。せんせいに きいてね。");
}

QString rosterFullMessage() {
    return QStringLiteral("めいぼが　いっぱいで、あたらしい　なまえを　いれられません。\n"
                          "せんせいに　しらせてね。");
}
