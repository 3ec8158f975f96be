// CStaticLink: a text label that works as a hyperlink. It is drawn underlined, blue until its
// target has been opened and purple after; the mouse pointer is a hand while it is over the link; a
// click opens the target through the desktop (a text holding the maker's mailbox and "@" as a
// "mailto:" address). For a second after a click, mouse moves over the link are ignored. It takes
// the focus with Tab, and Enter or Space opens it as a click does.
#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <functional>

class CStaticLink : public QLabel {
    Q_OBJECT
public:
    explicit CStaticLink(const QString& text, QWidget* parent = nullptr);

    // The int that records, for as long as its owner keeps it, that the link has been opened.
    void SetVisitedFlag(int* visited);

    // How targets are opened; the desktop's handler unless a test puts another in its place.
    using Opener = std::function<bool(const QUrl&)>;
    static void SetOpener(Opener opener);

    // What a click does: works out the target, opens it, and marks the link visited on success;
    // when it cannot be opened, tells the user so with the address.
    void OnClicked();

    bool Visited() const { return m_pVisited != nullptr && *m_pVisited == 1; }
    QColor TextColor() const { return Visited() ? m_colorVisited : m_colorUnvisited; }

    const QColor m_colorUnvisited{0, 0, 255};
    const QColor m_colorVisited{128, 0, 128};
    bool m_bCaptured = false;        // the pointer is over the link and shows the hand
    bool m_bMoveSuppressed = false;  // set by a click for a second
    QString m_link;                  // the target, taken from the text at the first click

protected:
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void PointerAt(bool inside);
    void RefreshLook();

    int* m_pVisited = nullptr;
    QString m_strWindowText;  // the text it was made with, kept when it shows a picture instead
    QTimer m_timer;
};
