// The walk into a model that keeps nothing: what `qmhost check` reports.
#include "CountingBuilder.h"
#include "ImportMeshFile.h"
#include "ImportWalk.h"

ImportReport CheckMeshFile(FileBuffer& myfile, int keepPerKind) {
  ImportReport report(keepPerKind);
  CountingBuilder builder;
  ImportWalk<CountingBuilder> walk(myfile, builder, report);
  WalkMeshFile(walk);
  return report;
}
