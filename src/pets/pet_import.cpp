#include "pets/pet_import.h"

#include "catalog/paths.h"
#include "pets/pet_catalog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace tandrel {

namespace {

QJsonObject manifestOrEmpty(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QJsonDocument::fromJson(file.readAll()).object();
}

// `path` lies strictly inside `root`; both canonical.
bool isStrictlyInside(const QString& path, const QString& root) {
  return !root.isEmpty() && path.startsWith(root + QLatin1Char('/'));
}

}  // namespace

std::optional<QString> chooseImportPetFolder(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Import Tandrel pet"), QDir::homePath());
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setWindowModality(Qt::ApplicationModal);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    grid->addWidget(new QLabel(QStringLiteral("Choose a directory containing pet.json"), &dialog), grid->rowCount(), 0,
                    1, grid->columnCount());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog.selectedFiles().constFirst();
}

PetChoice importedPetChoice(const QString& folder) {
  if (auto package = codexPetChoice(folder, QStringLiteral("pet.json"), PetSourceKind::imported,
                                    QString::fromLatin1(kCustomPetIDPrefix), false)) {
    return *package;
  }
  const QJsonObject manifest = manifestOrEmpty(QDir(folder).filePath(QStringLiteral("pet.json")));
  const auto text = [&](const char* key) { return nonEmptyString(manifest.value(QLatin1String(key))); };
  const QString folderName = QFileInfo(QDir::cleanPath(folder)).fileName();
  PetChoice pet;
  pet.id = text("id").value_or(QStringLiteral("dir-") + folderName);
  pet.name = text("displayName").value_or(folderName + QStringLiteral(" pet"));
  pet.detail = text("description").value_or(QStringLiteral("Imported from ") + folder);
  pet.sourcePath = folder;
  pet.sourceKind = PetSourceKind::imported;
  return pet;
}

void insertImportedPet(std::vector<PetChoice>& choices, const PetChoice& pet) {
  std::erase_if(choices, [&](const PetChoice& entry) { return entry.id == pet.id; });
  choices.insert(choices.begin(), pet);
}

std::optional<PetChoice> removePet(const QString& id, const PetRemovalState& state) {
  const PetChoice* found = findPetChoice(state.petChoices, id);
  if (found == nullptr || !found->isDeletable) {
    return std::nullopt;
  }
  const PetChoice removed = *found;
  state.deletedDefaultPetIDs.insert(id);
  removeTandrelPetDirectoryIfAllowed(removed, state.localTandrelHomeURL);
  std::erase_if(state.petChoices, [&](const PetChoice& entry) { return entry.id == id; });
  if (state.selectedPetID == id) {
    state.selectedPetID =
        state.petChoices.empty() ? QString::fromLatin1(kDefaultPetID) : state.petChoices.front().id;
  }
  return removed;
}

void removeTandrelPetDirectoryIfAllowed(const PetChoice& pet, const QString& localTandrelHomeURL) {
  if (pet.sourceKind != PetSourceKind::tandrelPet || !pet.sourcePath) {
    return;
  }
  const QString root = QFileInfo(localTandrelHomeURL + QStringLiteral("/pets")).canonicalFilePath();
  const QString target = QDir::cleanPath(*pet.sourcePath);
  const QFileInfo targetInfo(target);
  if (targetInfo.isSymLink()) {
    // The link lives in the pets folder; what it points to is the user's and stays.
    const QString parent = QFileInfo(targetInfo.absolutePath()).canonicalFilePath();
    if (parent == root || isStrictlyInside(parent, root)) {
      QFile::remove(target);
    }
    return;
  }
  const QString canonicalTarget = targetInfo.canonicalFilePath();
  if (targetInfo.isDir() && isStrictlyInside(canonicalTarget, root)) {
    // Links inside the folder are removed as links; their targets are not entered.
    QDir(canonicalTarget).removeRecursively();
  }
}

}  // namespace tandrel
