#include "SavePlan.h"

#include <ostream>

bool PlanSave(qmModel* model, const SaveSettings& settings, const std::string& path,
              const SavePathsOf& pathsOf, SavePlan& plan, ExportNotes& notes, std::string& error) {
  plan.content = PlanContent(model, settings, path);
  if (!plan.content.error.empty()) {
    error = "cannot save " + path + ": " + plan.content.error;
    return false;
  }
  plan.textures =
      std::make_unique<SaveTextures>(model, settings, UsedMaterials(model, plan.content), path);
  const std::string replaced = plan.textures->Replaced(pathsOf(plan.content, *plan.textures));
  if (!replaced.empty()) {
    error = "cannot save " + path + ": " + replaced;
    return false;
  }
  plan.textures->Load();
  notes.levelsLeftOut = LevelsLeftOutText(plan.content.levelsLeftOut);
  notes.texturesLeftOut = plan.textures->MissingText();
  return true;
}

std::vector<std::string> PlannedPaths(qmModel* model, const SaveSettings& settings,
                                      const std::string& path, const SavePathsOf& pathsOf,
                                      std::vector<std::string> unplanned) {
  const SaveContent content = PlanContent(model, settings, path);
  if (!content.error.empty()) return unplanned;
  const SaveTextures textures(model, settings, UsedMaterials(model, content), path);
  return pathsOf(content, textures);
}

void AddImageFiles(const std::shared_ptr<const SavePlan>& plan, std::vector<FileToSave>& files) {
  const std::vector<std::string> beside = plan->textures->BesidePaths();
  for (std::size_t n = 0; n < beside.size(); ++n)
    files.push_back({beside[n], [plan, n](std::ostream& out) {
                       const std::vector<unsigned char>& png = plan->textures->Images()[n].png;
                       out.write(reinterpret_cast<const char*>(png.data()),
                                 static_cast<std::streamsize>(png.size()));
                       return out.good();
                     }});
}
