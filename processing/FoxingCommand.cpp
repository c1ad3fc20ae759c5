#include "view/CVeltroInterfaceView.h"

void CVeltroInterfaceView::OnProcessingFoxing()
{
}
