// Tools → Generate stage: asks for the seed and the length of a random stage.
#pragma once

class QWidget;

// False when the user cancels; otherwise seed and length (metres) hold the answers, starting
// from a fresh random seed and a 2000 m stage.
bool askStage(QWidget* parent, unsigned& seed, int& length);
