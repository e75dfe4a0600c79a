#include "date_picker.h"

#include <QCalendarWidget>
#include <QRegularExpression>

namespace kelvora {

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent) {
    setCalendarPopup(true);
    setDateSeparator('/');
}

void DatePicker::setDateSeparator(char separator) {
    separator_ = QLatin1Char(separator);
    const QString sep = (separator == '\'') ? QStringLiteral("''") : QString(separator_);
    // Separator characters that are pattern letters must be quoted.
    const QString quoted = QChar(separator_).isLetter() ? QStringLiteral("'") + sep + QStringLiteral("'") : sep;
    setDisplayFormat(QStringLiteral("dd") + quoted + QStringLiteral("MM") + quoted + QStringLiteral("yyyy"));
}

CalendarDate DatePicker::calendarDate() const {
    const QDate d = date();
    return {d.year(), d.month(), d.day()};
}

void DatePicker::setCalendarDate(const CalendarDate& d) { setDate(QDate(d.year, d.month, d.day)); }

int DatePicker::expandTwoDigitYear(int year) { return year >= 50 ? 1900 + year : 2000 + year; }

namespace {
// day sep month sep two-digit year, as typed
QRegularExpressionMatch matchShortYear(const QString& input, QChar sep) {
    const QString s = QRegularExpression::escape(QString(sep));
    static thread_local QString lastSep;
    static thread_local QRegularExpression re;
    if (lastSep != s) {
        re = QRegularExpression(QStringLiteral("^\\s*(\\d{1,2})") + s + QStringLiteral("(\\d{1,2})") + s +
                                QStringLiteral("(\\d{2})\\s*$"));
        lastSep = s;
    }
    return re.match(input);
}
}  // namespace

QValidator::State DatePicker::validate(QString& input, int& pos) const {
    // Before the base class pads "05" to "0005".
    if (matchShortYear(input, separator_).hasMatch()) return QValidator::Intermediate;
    return QDateEdit::validate(input, pos);
}

void DatePicker::fixup(QString& input) const {
    const QRegularExpressionMatch m = matchShortYear(input, separator_);
    if (m.hasMatch()) {
        const int year = expandTwoDigitYear(m.captured(3).toInt());
        const QDate d(year, m.captured(2).toInt(), m.captured(1).toInt());
        if (d.isValid()) {
            input = d.toString(displayFormat());
            return;
        }
    }
    QDateEdit::fixup(input);
}

}  // namespace kelvora
