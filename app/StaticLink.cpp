#include "app/StaticLink.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "app/Maker.h"
#include "app/Prompter.h"

#ifdef KORVEX_DIAGNOSTIC
#include <cstdio>
#define LINK_TRACE(...) std::fprintf(stderr, __VA_ARGS__)
#else
#define LINK_TRACE(...) ((void)0)
#endif

namespace {

constexpr int kSuppressMilliseconds = 1000;
constexpr QLatin1StringView kMailto("mailto:");

CStaticLink::Opener& CurrentOpener() {
    static CStaticLink::Opener opener = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

}  // namespace

CStaticLink::CStaticLink(const QString& text, QWidget* parent)
    : QLabel(text, parent), m_strWindowText(text) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    RefreshLook();
    m_timer.setSingleShot(true);
    m_timer.setInterval(kSuppressMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_bMoveSuppressed = false; });
}

void CStaticLink::SetOpener(Opener opener) {
    CurrentOpener() = std::move(opener);
}

void CStaticLink::SetVisitedFlag(int* visited) {
    m_pVisited = visited;
    RefreshLook();
}

void CStaticLink::showEvent(QShowEvent* event) {
    RefreshLook();
    QLabel::showEvent(event);
}

void CStaticLink::RefreshLook() {
    // Text links are underlined and coloured; a label showing a picture keeps its look.
    bool text = pixmap().isNull();
    if (font().underline() != text) {
        QFont underlined = font();
        underlined.setUnderline(text);
        setFont(underlined);
    }
    if (!text) {
        return;
    }
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, TextColor());
    setPalette(colours);
}

void CStaticLink::PointerAt(bool inside) {
    LINK_TRACE("TRACE1 m_bCaptured = %d bPoint = %d\n", m_bCaptured ? 1 : 0, inside ? 1 : 0);
    if (!m_bCaptured && inside) {
        m_bCaptured = true;
        setCursor(Qt::PointingHandCursor);
        LINK_TRACE("LOAD\n");
    } else {
        LINK_TRACE("failed test 1\n");
    }
    if (m_bCaptured && !inside) {
        m_bCaptured = false;
        setCursor(Qt::ArrowCursor);
        LINK_TRACE("UNLOAD\n");
    } else {
        LINK_TRACE("failed test 3\n");
    }
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (!m_bMoveSuppressed) {
        PointerAt(rect().contains(event->position().toPoint()));
    }
}

void CStaticLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (!m_bMoveSuppressed) {
        PointerAt(false);
    }
}

void CStaticLink::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
                event->accept();
                OnClicked();
                return;
            }
            break;
        default:
            break;
    }
    QLabel::keyPressEvent(event);
}

void CStaticLink::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        OnClicked();
    }
}

void CStaticLink::OnClicked() {
    if (m_link.isEmpty()) {
        m_link = text().isEmpty() ? m_strWindowText : text();
    }
    const QString mailbox = QLatin1String(maker::kMailbox) + QLatin1Char('@');
    if (m_link.contains(mailbox) && !m_link.startsWith(kMailto)) {
        m_link.prepend(kMailto);
    }
    m_bCaptured = false;
    m_bMoveSuppressed = true;
    m_timer.start();
    if (!CurrentOpener()(QUrl(m_link))) {
        QString address = m_link;
        if (address.startsWith(kMailto)) {
            address.remove(0, kMailto.size());
        }
        Prompter::instance().Message(
            window(),
            QStringLiteral("The link could not be opened. Its address is:\n%1").arg(address));
        LINK_TRACE("*** WARNING: CStaticLink: unable to execute file %s\n",
                   m_link.toLocal8Bit().constData());
        return;
    }
    LINK_TRACE("UNLOAD after shell ex\n");
    if (m_pVisited != nullptr) {
        *m_pVisited = 1;
    }
    setCursor(Qt::ArrowCursor);
    LINK_TRACE("UNLOAD\n");
    RefreshLook();
}
