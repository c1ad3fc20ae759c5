#include "view/CVeltroInterfaceView.h"

void CVeltroInterfaceView::OnProcessingCrease()
{
}
