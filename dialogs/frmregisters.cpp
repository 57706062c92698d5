#include "frmregisters.h"

frmRegisters::frmRegisters(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("frmRegisters"));
    setAttribute(Qt::WA_DeleteOnClose);
}
