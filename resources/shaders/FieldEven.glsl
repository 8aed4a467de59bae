// Lines of this parity belong to the field being shown.
const float fieldParity = 0.0;
