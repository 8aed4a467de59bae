// Lines of this parity belong to the field being shown.
const float fieldParity = 1.0;
