#pragma once
// A date field with a drop-down calendar showing "dd/MM/yyyy" with the
// regional date separator. A two-digit year that the operator types is read
// in the hundred years that begin with 1950. Holds calendar dates only and is
// never empty.

#include <QDateEdit>

#include "date_time.h"

namespace kelvora {

class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

    void setDateSeparator(char separator);
    CalendarDate calendarDate() const;
    void setCalendarDate(const CalendarDate& date);

    // "05" -> 2005, "50" -> 1950, "49" -> 2049.
    static int expandTwoDigitYear(int year);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    QChar separator_ = QLatin1Char('/');
};

}  // namespace kelvora
