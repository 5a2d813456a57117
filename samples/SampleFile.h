// The sample model shipped as sample.msh: a small ship in two groups (hull
// and turret), each with two detail levels, materials shared between meshes,
// a "@boo" material, and hardpoints of every marker family.
#ifndef QM_SAMPLES_SAMPLEFILE_H
#define QM_SAMPLES_SAMPLEFILE_H

#include "MshWriter.h"

MshFile SampleFile();

#endif  // QM_SAMPLES_SAMPLEFILE_H
