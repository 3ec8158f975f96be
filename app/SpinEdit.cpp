#include "app/SpinEdit.h"

#include <QLineEdit>

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(false);
    setKeyboardTracking(true);
}

void SpinEdit::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

void SpinEdit::setText(const QString& text) {
    lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps) {
    bool ok = false;
    int value = text().trimmed().toInt(&ok);
    value = ok ? std::clamp(value + steps, minimum_, maximum_) : minimum_;
    setText(QString::number(value));
    lineEdit()->selectAll();
}

QValidator::State SpinEdit::validate(QString&, int&) const {
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    if (!isEnabled()) {
        return StepNone;
    }
    bool ok = false;
    int value = text().trimmed().toInt(&ok);
    if (!ok) {
        return StepUpEnabled | StepDownEnabled;
    }
    StepEnabled enabled = StepNone;
    if (value < maximum_) {
        enabled |= StepUpEnabled;
    }
    if (value > minimum_) {
        enabled |= StepDownEnabled;
    }
    return enabled;
}

QValidator::State MaxLengthValidator::validate(QString& input, int&) const {
    const qsizetype length = characters_ ? input.toUcs4().size() : input.toLocal8Bit().size();
    return length <= length_ ? Acceptable : Invalid;
}
