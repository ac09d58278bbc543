#pragma once

class QCoreApplication;

namespace tessera {

// Makes Chinese the default locale (dates, day names) and loads Qt's own
// Simplified-Chinese translations, so that standard buttons and dialogs read
// 确定, 取消 and so on. Returns false when the translations are not installed.
bool installChineseTranslations(QCoreApplication& app);

} // namespace tessera
