#pragma once

#include <QByteArray>
#include <QStringView>

class QDate;
class QDateTime;

// A date and time of day exactly as the data states it, in no time zone: what a cell shows.
// Reading text this way needs no time-zone rules, so a date means the same wherever the report
// runs (a local-time date would move at a clock change, or lose the midnight some zones skip).
struct WallDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
    bool valid = false;

    bool hasTime() const { return hour != 0 || minute != 0 || second != 0 || msec != 0; }

    static WallDateTime fromDate(const QDate &d);
    // The date and time the value shows, read as it stands (no conversion to another zone).
    static WallDateTime fromDateTime(const QDateTime &dt);

    // "yyyy-MM-dd" without a time, "yyyy-MM-dd HH:mm:ss" with one (milliseconds dropped); empty
    // when not valid.
    void appendText(QByteArray &out) const;
};

// Reads ISO 8601 date text, trimmed: "2024-01-31", "2024-01-31T10:15", "2024-01-31 10:15:30.5",
// with or without a "Z" or "+02:00" suffix (the time is kept as written), "24:00" as the next
// day's midnight. Anything else is not a date (false).
bool ParseWallDateTime(QStringView text, WallDateTime &out);

// True when `text` is already the text appendText() writes for it, so it can be copied as it is.
bool IsWallDateTimeText(QStringView text, const WallDateTime &value);
