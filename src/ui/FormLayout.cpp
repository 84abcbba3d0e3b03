#include "FormLayout.h"

#include "LinkLabel.h"
#include "PortSelector.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <vector>

namespace FormLayout {

namespace {

QWidget *create(const Control& c, QWidget *parent) {
    const QString caption = QString::fromUtf16(c.caption);
    switch (c.kind) {
    case Kind::Frame:
        return new QGroupBox(caption, parent);
    case Kind::Label: {
        auto *label = new QLabel(caption, parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // A label tall enough for two lines (FREE SMS) wraps its caption; the others keep theirs
        // on one line.
        label->setWordWrap(c.height >= 2 * 240);
        return label;
    }
    case Kind::TextField: {
        auto *field = new QLineEdit(parent);
        // No length limit: a value of any length must survive the window unchanged.
        field->setMaxLength(std::numeric_limits<int>::max());
        return field;
    }
    case Kind::ComboBox: {
        auto *combo = new PortSelector(parent);
        combo->setEditText(caption);
        combo->setEnabled(false);
        return combo;
    }
    case Kind::Button: {
        auto *button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case Kind::LinkLabel:
        return new LinkLabel(parent);
    }
    return nullptr;
}

} // namespace

QSize clientSize() {
    return {toPixels(ClientWidthTwips), toPixels(ClientHeightTwips)};
}

QHash<QByteArray, QWidget *> build(QWidget& form) {
    // The layout was drawn for an 8-point dialog font of Arial's width; wider desktop fonts would
    // cut the captions short. Where Arial itself is missing, the system's metric-compatible
    // substitute (Liberation Sans, Nimbus Sans) takes its place. Set first, so that every control
    // is made with it.
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPointSizeF(8);
    form.setFont(windowFont);

    QHash<QByteArray, QWidget *> built;
    built.insert(QByteArrayLiteral("Form1"), &form);
    std::vector<std::pair<int, QWidget *>> tabStops;
    for (const Control& c : Controls) {
        QWidget *parent = built.value(QByteArray(c.container));
        Q_ASSERT(parent);
        QWidget *widget = create(c, parent);
        widget->setObjectName(QString::fromLatin1(c.name));
        widget->setGeometry(toPixels(c));
        if (*c.tooltip)
            widget->setToolTip(QString::fromUtf16(c.tooltip));
        built.insert(QByteArray(c.name), widget);
        if (widget->focusPolicy() != Qt::NoFocus)
            tabStops.emplace_back(c.tabIndex, widget);
    }
    for (const Buddy& b : Buddies)
        qobject_cast<QLabel *>(built.value(QByteArray(b.label)))
            ->setBuddy(built.value(QByteArray(b.field)));

    std::sort(tabStops.begin(), tabStops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabStops.size(); ++i)
        QWidget::setTabOrder(tabStops[i - 1].second, tabStops[i].second);
    form.setFixedSize(clientSize());
    return built;
}

} // namespace FormLayout
