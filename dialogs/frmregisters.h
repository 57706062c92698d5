#pragma once

#include <QWidget>

class frmRegisters : public QWidget
{
    Q_OBJECT

public:
    explicit frmRegisters(QWidget *owner = nullptr);
};
