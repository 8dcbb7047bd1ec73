// Message boxes with one OK button, behind an interface so that headless
// runs and tests can take the message instead of a modal box.
#pragma once

#include <QString>
#include <QWidget>

namespace km7 {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Show(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    void Show(QWidget* parent, const QString& caption, const QString& text) override;
};

} // namespace km7
