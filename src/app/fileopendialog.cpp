#include "app/fileopendialog.h"

#include <QFileDialog>

bool QtFileOpenDialog::showOpen()
{
    // No title and no filter: any file may be opened. Starting at the last chosen file is what a
    // dialog that remembers its name does.
    const QString chosen = QFileDialog::getOpenFileName(m_parent, QString(), m_fileName);
    if (chosen.isEmpty())
        return false;
    m_fileName = chosen;
    return true;
}
