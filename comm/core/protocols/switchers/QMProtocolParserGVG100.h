#pragma once
// Drives a vision mixer with the GVG-100 editor protocol over a serial line.
#include "comm/core/protocols/switchers/QMSwitcherProtocolParser.h"

class QMProtocolParserGVG100 : public QMSwitcherProtocolParser {
public:
    static const QMProtocolParserClass& gvg100Class();
    const QMProtocolParserClass& parserClass() const override { return gvg100Class(); }

protected:
    QVariantMap buildProtocolCommands() const override;
};
