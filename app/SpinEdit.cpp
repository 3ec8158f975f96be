#include "app/SpinEdit.h"

#include <QLineEdit>

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(false);
    setKeyboardTracking(true);
}

void SpinEdit::SetRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
}

QString SpinEdit::Text() const {
    return lineEdit()->text();
}

void SpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps) {
    bool ok = false;
    int value = Text().trimmed().toInt(&ok);
    value = ok ? std::clamp(value + steps, m_minimum, m_maximum) : m_minimum;
    SetText(QString::number(value));
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
    int value = Text().trimmed().toInt(&ok);
    if (!ok) {
        return StepUpEnabled | StepDownEnabled;
    }
    StepEnabled enabled = StepNone;
    if (value < m_maximum) {
        enabled |= StepUpEnabled;
    }
    if (value > m_minimum) {
        enabled |= StepDownEnabled;
    }
    return enabled;
}

QValidator::State MaxLengthValidator::validate(QString& input, int&) const {
    const qsizetype length = m_characters ? input.toUcs4().size() : input.toLocal8Bit().size();
    return length <= m_length ? Acceptable : Invalid;
}
