#pragma once

#include <QString>

class QWidget;

// The file-open dialog of File > Open. It keeps the chosen name between uses: cancelling leaves
// the earlier name (empty if nothing was ever chosen).
class FileOpenDialog {
public:
    virtual ~FileOpenDialog() = default;
    // Modal. True when the user chose a file; false when they cancelled.
    virtual bool showOpen() = 0;
    virtual QString fileName() const = 0;
};

class QtFileOpenDialog : public FileOpenDialog {
public:
    void setParentWidget(QWidget* parent) { m_parent = parent; }
    bool showOpen() override;
    QString fileName() const override { return m_fileName; }

private:
    QWidget* m_parent = nullptr;
    QString m_fileName;
};
