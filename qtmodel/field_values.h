// Field values as Qt item data: the value an editor starts from and the
// value it gives back, for the model's edit role. Dates, times and logicals
// travel typed, so that Qt's own editors (a date edit, a check box) take
// them; a text memo travels as its whole text; anything else as the field's
// text.
#ifndef QTMODEL_FIELD_VALUES_H_
#define QTMODEL_FIELD_VALUES_H_

#include <QVariant>

#include "dataset/fields.h"

namespace ndsqt {

// True for a blob that holds text (a memo): it is shown and edited as text.
bool IsTextMemo(const dataset::TField& field);

// The value an editor starts from: QDate, QTime or QDateTime for dates and
// times, bool for a logical, QString otherwise (a memo's whole text); a null
// QVariant for a null field.
QVariant EditValueOf(const dataset::TField& field);

// Sets `field` from an editor's value. A null value or an empty text clears
// the field; a QDate, QTime, QDateTime or bool is set as such, anything else
// as text. Raises what the field raises for a value it cannot hold, leaving
// the field as it was.
void SetFieldValue(dataset::TField& field, const QVariant& value);

}  // namespace ndsqt

#endif  // QTMODEL_FIELD_VALUES_H_
