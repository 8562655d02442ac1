#include "cmodel.h"

#include "elements.h"

CModel::CModel() {}

// ---- model core and bonds -------------------------------------------------

void CModel::SetModel() {}
void CModel::EvalModel() {}
void CModel::CenterView() {}
void CModel::CenterZero() {}
void CModel::SetInverseCell() {}
void CModel::SetNewCoordinates(uint32_t, glm::vec3 &) {}
void CModel::SetElement(uint32_t, uint32_t) {}
void CModel::DeleteAtomIndex(uint32_t) {}
void CModel::EvalCutRadius() {}
void CModel::SetCells() {}
void CModel::SetNeighbourList() {}
void CModel::SetCellList() {}
void CModel::EvalLinkedList() {}
void CModel::EvalAtomicBonds() {}
void CModel::UpdateBonds() {}

// ---- load/save pipeline ---------------------------------------------------

bool CModel::ReadStructureFile(std::string, std::string, int) { return false; }
bool CModel::SaveStructureFile(std::string, std::string, int) { return false; }
void CModel::SetNewCoordinates() {}
