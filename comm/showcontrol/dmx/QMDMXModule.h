#pragma once
// Makes the DMX parser (type 4) and the Art-Net communicator known to the communications module.
// Call once at start-up, before the module controller is started with its parser types.
void QMRegisterDMXClasses();
