#include "MeshImportPlugIn.h"

#include <cstring>
#include <exception>
#include <new>

#include "Dialogs.h"
#include "FileBuffer.h"
#include "ImportMeshFile.h"

MeshImportPlugIn::MeshImportPlugIn() {
  std::memset(title, 0, sizeof title);
  std::strcpy(title, "Velun 2030V Mesh...");
}

MeshImportPlugIn::~MeshImportPlugIn() {}

int MeshImportPlugIn::PlugInKind() { return 1; }

char* MeshImportPlugIn::MenuTitle() { return title; }

int MeshImportPlugIn::Run(qmModel* model) {
  if (model == nullptr) return -1;

  OPENFILENAMEA ofn;
  char szFile[256];
  char szFileTitle[256];
  char szDefExt[32];
  char szFilter[128];
  PrepareOpenFileDialog(ofn, szFile, szFileTitle, szDefExt, szFilter);
  if (GetOpenFileNameA(&ofn) == 0) return 0;

  // No exception may cross into the host, which was built by another
  // compiler: running out of memory mid-import ends the run with a message.
  try {
    FileBuffer myfile(szFile);
    if (myfile.data == nullptr) {
      ShowMessage("Couldn't open the file");
      return 0;
    }
    const ImportReport report = ImportMeshFile(model, myfile);
    if (!report.Ok()) ShowMessage(report.Message().c_str());
  } catch (const std::bad_alloc&) {
    ShowMessage("There is not enough memory to import the whole file. The model holds what was "
                "read until then.");
  } catch (const std::exception&) {
    ShowMessage("The import stopped on an unexpected error. The model holds what was read until "
                "then.");
  }
  return 0;
}
