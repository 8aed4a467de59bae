#pragma once
// Makes the GVG100 (type 9) and Sony BVS (type 17) parsers known to the communications module.
// Call once at start-up, before the module controller is started with its parser types.
void QMRegisterSwitcherClasses();
