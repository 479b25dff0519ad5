#include "qtmodel/field_values.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>

#include "dataset/datetime.h"

namespace ndsqt {

namespace {

QDate DateOf(dataset::TDateTime value) {
  int year = 0, month = 0, day = 0;
  dataset::DecodeDate(value, year, month, day);
  return QDate(year, month, day);
}

QTime TimeOf(dataset::TDateTime value) {
  int hour = 0, minute = 0, second = 0, msec = 0;
  dataset::DecodeTime(value, hour, minute, second, msec);
  return QTime(hour, minute, second, msec);
}

dataset::TDateTime DayOf(const QDate& date) {
  return dataset::EncodeDate(date.year(), date.month(), date.day());
}

dataset::TDateTime TimeOfDay(const QTime& time) {
  return dataset::EncodeTime(time.hour(), time.minute(), time.second(), time.msec());
}

// Before day 0 the whole part counts back while the fraction still runs
// forward from midnight: the time is taken away from the day.
dataset::TDateTime Combine(dataset::TDateTime day, dataset::TDateTime time) {
  return day >= 0 ? day + time : day - time;
}

}  // namespace

bool IsTextMemo(const dataset::TField& field) {
  switch (field.DataType()) {
    case dataset::ftMemo:
    case dataset::ftFmtMemo:
    case dataset::ftOraClob:
      return true;
    default:
      return false;
  }
}

QVariant EditValueOf(const dataset::TField& field) {
  if (field.IsNull()) return QVariant();
  switch (field.DataType()) {
    case dataset::ftDate:
      return DateOf(field.AsDateTime());
    case dataset::ftTime:
      return TimeOf(field.AsDateTime());
    case dataset::ftDateTime:
    case dataset::ftTimeStamp: {
      const dataset::TDateTime value = field.AsDateTime();
      return QDateTime(DateOf(value), TimeOf(value));
    }
    case dataset::ftBoolean:
      return field.AsBoolean();
    default:
      return QString::fromStdString(field.AsString());
  }
}

void SetFieldValue(dataset::TField& field, const QVariant& value) {
  if (value.isNull()) {
    field.Clear();
    return;
  }
  switch (value.typeId()) {
    case QMetaType::QDate:
      // A date edit left without a date gives an invalid one.
      if (value.toDate().isValid()) {
        field.SetAsDateTime(DayOf(value.toDate()));
      } else {
        field.Clear();
      }
      return;
    case QMetaType::QTime:
      field.SetAsDateTime(TimeOfDay(value.toTime()));
      return;
    case QMetaType::QDateTime: {
      const QDateTime stamp = value.toDateTime();
      field.SetAsDateTime(Combine(DayOf(stamp.date()), TimeOfDay(stamp.time())));
      return;
    }
    case QMetaType::Bool:
      field.SetAsBoolean(value.toBool());
      return;
    default:
      break;
  }
  const QString text = value.toString();
  if (text.isEmpty()) {
    field.Clear();
  } else {
    field.SetAsString(text.toStdString());
  }
}

}  // namespace ndsqt
