#pragma once

#include <QWidget>

class frmAbout : public QWidget
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *owner = nullptr);
};
