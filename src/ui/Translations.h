#pragma once

class QCoreApplication;

namespace tessera {

// Loads Qt's own Simplified-Chinese translations, so that standard buttons and
// dialogs read 确定, 取消 and so on. Returns false when they are not installed.
bool installChineseTranslations(QCoreApplication& app);

} // namespace tessera
