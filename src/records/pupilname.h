#pragma once
// Which names the data files can hold. A name is one field of a ";"-separated line in code
// page 932, so it cannot contain ";", a line break, control characters, or any character
// that code page 932 has no code for.

#include <QString>

enum class NameProblem {
    None,
    Separator,        // contains ";"
    LineBreak,        // CR, LF, or a Unicode line or paragraph separator
    ControlCharacter, // tab and other control characters
    NotEncodable,     // a character code page 932 cannot write (𠮷, emoji ...)
};

struct NameCheck {
    QString name; // the name as it will be used: as typed, or composed when only that fits
    NameProblem problem = NameProblem::None;
    QString offending; // the first character that cannot be used
};

// Checks `name` exactly as given (no composition, spaces count).
NameCheck nameProblem(const QString &name);

// The name a person means by what was typed: spaces, half-width and full-width, at either
// end are no part of it, so "たろう " and "たろう" are one pupil; spaces alone are no name.
QString typedPupilName(const QString &typed);

// Checks the typed name (typedPupilName). Only when code page 932 cannot hold it but can
// hold its composed form (a kana and a separate sound mark become one character) is the
// composed form used.
NameCheck checkPupilName(const QString &typed);

// A short message a second-grade pupil can read, for the sign-in page.
QString nameProblemMessage(const NameCheck &check);

// The sign-in page's message for a name a closed class list does not hold.
QString notOnClassListMessage();

// The sign-in page's message when every row of the roster is taken.
QString rosterFullMessage();
