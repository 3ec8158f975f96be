// An edit field with up and down arrows whose text the user may type freely: the arrows and the
// Up and Down keys step through a range, but the text is only checked when the dialog reads it.
#pragma once

#include <QAbstractSpinBox>
#include <QValidator>

class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    void setText(const QString& text);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
};

// Lets the user type at most `length` bytes of text, or characters; text set by the program is
// not cut.
class MaxLengthValidator : public QValidator {
public:
    MaxLengthValidator(int length, QObject* parent, bool characters = false)
        : QValidator(parent), length_(length), characters_(characters) {}
    State validate(QString& input, int& pos) const override;

private:
    int length_;
    bool characters_;
};
