#include "app/CVeltroInterfaceApp.h"

CVeltroInterfaceApp::CVeltroInterfaceApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool CVeltroInterfaceApp::InitInstance()
{
    return true;
}
