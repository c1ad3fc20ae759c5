#pragma once

#include <QApplication>

class CVeltroInterfaceApp : public QApplication
{
    Q_OBJECT
public:
    CVeltroInterfaceApp(int& argc, char** argv);
    bool InitInstance();
};
