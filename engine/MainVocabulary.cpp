#include "engine/Main.h"
#include "engine/Vocabolario.h"

CVocabolario* CMain::Vocabulary(int index) const {
    if (index < 0 || index >= static_cast<int>(vocabularies_.size())) return nullptr;
    return vocabularies_[index].get();
}

void CMain::FreeVocabularies() {
    vocabularies_.clear();
}
