#include "engine/Main.h"
#include "engine/Vocabolario.h"
#include "engine/VocabularySelector.h"

using namespace foundation;

namespace engine {

CVocabolario* CMain::Vocabulary(int index) const {
    return vocabularyIndex_.At(index);
}

void CMain::FreeVocabularies() {
    vocabularyIndex_.RemoveAll();
}

int CMain::SelectVocabulary(CCompatChecker& checker, CNodo& node) {
    return engine::SelectVocabulary(vocabularyIndex_, checker, node.hardwareCode, node.softwareCode,
                                    node.vocabularyIndex, confirmSubstitution);
}

}  // namespace engine
