#include "view/CVeltroInterfaceView.h"

void CVeltroInterfaceView::OnProcessingBlotch()
{
}
