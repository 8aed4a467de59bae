#include "app/devices/KLVDVIOutput.h"

#include "engine/output/ssDVIOutput.h"

void KLVDVIOutput::setSize(int32_t width, int32_t height)
{
    if (output_)
        output_->SetSize(width, height);
}

void KLVDVIOutput::drawScreen()
{
    if (output_)
        output_->DrawScreen();
}

bool KLVDVIOutput::takeFrame()
{
    return output_ && output_->TakeFrame();
}
