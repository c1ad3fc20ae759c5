#include "view/CVeltroInterfaceView.h"

void CVeltroInterfaceView::OnProcessingCrack()
{
}
