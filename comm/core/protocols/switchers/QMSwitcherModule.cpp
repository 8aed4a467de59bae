#include "comm/core/protocols/switchers/QMSwitcherModule.h"

#include "comm/core/protocols/switchers/QMProtocolParserGVG100.h"
#include "comm/core/protocols/switchers/QMProtocolParserSonyBVS.h"

void QMRegisterSwitcherClasses()
{
    QMProtocolParserClass::registerClass(QMProtocolParserGVG100::gvg100Class());
    QMProtocolParserClass::registerClass(QMProtocolParserSonyBVS::sonyBVSClass());
}
