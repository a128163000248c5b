// Shared constants of Dikton: notification numbers, memory map, protocol codes, the texts the
// user sees. Everything here is constexpr; nothing is mutable.
#pragma once

#include <cstdint>
#include <string_view>

namespace dikton {

// Notifications posted by a worker to its progress window (two 32-bit parameters each).
inline constexpr uint32_t UM_WRITE_FINISHED = 2024;
inline constexpr uint32_t UM_DONE = 2025;
inline constexpr uint32_t UM_PROGRESS = 2026;
// A read-back without a write before it begins (verify): the window counts differences.
inline constexpr uint32_t UM_VERIFY_STARTED = 2027;
inline constexpr uint32_t UM_ERROR = 2028;

// Device memory map.
inline constexpr uint32_t kRegionAStart = 0x0000;
inline constexpr uint32_t kRegionAEnd = 0x1000;          // exclusive
inline constexpr uint32_t kDirectoryAddr = 0x3000;       // FragmentDirectory
inline constexpr uint32_t kDirectoryCount = 75;          // entries of 3 bytes
inline constexpr uint32_t kDirectoryBytes = 3 * kDirectoryCount;  // 225
inline constexpr uint32_t kDirectoryPadEnd = 0x30E3;     // last zeroed byte after the directory
inline constexpr uint32_t kSignaturePtrAddr = 0x31FD;    // 3 bytes: address of the record
inline constexpr uint32_t kSignatureSize = 16;           // bytes of the signature record
inline constexpr uint32_t kMaxDeviceAddr = 0xFFFFFF;     // addresses are 24 bits
inline constexpr uint32_t kDefaultSoundSize = 0x100000;  // 1 MiB until a range is known

// Line and protocol.
inline constexpr int32_t kSlowBaud = 9600;     // every dialogue starts here
inline constexpr int32_t kFastBaud = 115200;   // bulk transfer after the mode switch
inline constexpr uint8_t kRetries = 3;         // attempts per exchange
inline constexpr uint32_t kReadTimeoutMs = 400;  // total time-out of one read, ms
inline constexpr uint32_t kQueueSize = 1000;   // driver queue sizes, bytes
inline constexpr uint8_t kBlockSize = 32;      // data bytes per block
inline constexpr uint32_t kProgressStep = 1024;  // bytes between progress notifications
inline constexpr size_t kFrameCapacity = 255;  // bytes of a request or reply buffer
// Answers in a row that a block may get without being accepted (a refused write, a reply of
// another code) before the job gives up on the link, answers.
inline constexpr int kMaxUnusableAnswers = 16;

inline constexpr uint8_t kCmdPrepare = 0x0D;
inline constexpr uint8_t kCmdModeSwitch = 0x33;   // '3'
inline constexpr uint8_t kModeSwitchArg = 0xA0;
inline constexpr uint8_t kModeEnter = 0x00;
inline constexpr uint8_t kModeLeave = 0x01;
inline constexpr uint8_t kCmdRangeQuery = 0x3F;   // '?'
inline constexpr uint8_t kCmdReadBlock = 0x43;    // 'C'
inline constexpr uint8_t kCmdWriteBlock = 0x41;   // 'A'
inline constexpr uint8_t kReplyModeSwitch = 0x34; // '4'
inline constexpr uint8_t kReplyRange = 0x3E;      // '>'
inline constexpr uint8_t kRangeSeparator = 0x2C;  // ','
inline constexpr uint8_t kReplyData = 0x44;       // 'D'
inline constexpr uint8_t kReplyWriteAck = 0x42;   // 'B'

inline constexpr int kMinPort = 1, kMaxPort = 16;
inline constexpr int kMinDeviceAddress = 1, kMaxDeviceAddress = 127;
inline constexpr int kFragmentSlots = 76;

// Texts.
namespace txt {
inline constexpr std::string_view AppTitle = "Dikton";
inline constexpr std::string_view MainCaption =
    "Dikton - Программа для работы с памятью RV-7K (Для внутреннего использования)";
inline constexpr std::string_view MsgCaption = "Сообщение";
inline constexpr std::string_view StopCaption = "Останов процесса";

inline constexpr std::string_view CantOpenPort = "Не могу открыть порт!";
inline constexpr std::string_view NoAnswer = "Прибор не отвечает!";
inline constexpr std::string_view NoAnswerCrLf = "Прибор не отвечает!\r\n";
inline constexpr std::string_view RangeUnsupported =
    "Запрос границ звуковой\r\nпамяти не поддерживается.";
inline constexpr std::string_view OtherFormat =
    "Открыт файл другого формата!\r\nПродолжение невозможно.";
inline constexpr std::string_view OtherFormatShort = "Открыт файл другого формата!";
inline constexpr std::string_view NoDataToWrite =
    "Нет данных для записи!\r\nНужно открыть файл или считать память.";
inline constexpr std::string_view NoDataToWriteShort = "Нет данных для записи!";
inline constexpr std::string_view ReadOk = "Память прочитана успешно";
inline constexpr std::string_view WriteOk = "Запись проведена успешно!";

inline constexpr std::string_view NotRead = "Память не была считана!";
inline constexpr std::string_view AskReplaceImage =
    "Память была считана, но в файл не сохранена.\r\nЗагрузить новый образ памяти из файла?";
inline constexpr std::string_view BadFileSize = "Файл открыть не удалось.\r\nНеправильный размер файла.";
inline constexpr std::string_view DamagedFile = "Файл открыть не удалось!\r\nФайл повреждён.";
inline constexpr std::string_view SaveFailed = "Не удалось сохранить файл!";
inline constexpr std::string_view SaveImageTitle = "Сохранение памяти в файл";
inline constexpr std::string_view OpenImageTitle = "Загрузка памяти из файла";
inline constexpr std::string_view ImageFilter = "Двоичные (*.bin)|*.bin|Все файлы|*.*";
inline constexpr std::string_view ImageDefaultName = "memory.bin";
inline constexpr std::string_view ImageDefaultExt = "bin";

inline constexpr std::string_view WavFilter = "Windows PCM (*.wav)|*.wav|Все файлы|*.*";
inline constexpr std::string_view WavDefaultExt = "wav";
inline constexpr std::string_view BadWav = "Формат wav-файла неверный!";
inline constexpr std::string_view NoRoom = "Недостаточно памяти под файл!\r\n";
inline constexpr std::string_view ListFilter = "Текстовые (*.txt)|*.txt|Все файлы|*.*";
inline constexpr std::string_view ListSaveTitle = "Сохранение имен в файл";
inline constexpr std::string_view ListOpenTitle = "Чтение имен из файла";
inline constexpr std::string_view ListDefaultName = "paths.txt";
inline constexpr std::string_view ListDefaultExt = "txt";

inline constexpr std::string_view TooBig = "Размер фрагментов слишком большой";
inline constexpr std::string_view SoundOk = "Звуковые фрагменты успешно записаны!";
inline constexpr std::string_view SoundTotal = "Размер фрагментов: ";
inline constexpr std::string_view SoundWritten = "Записано :";
inline constexpr std::string_view VerifyErrors = "Проверка выявила ошибок: ";
inline constexpr std::string_view BadRange = "Неверный диапазон звуковой памяти!";
inline constexpr std::string_view FragmentBroken = "Файл фрагмента не найден или повреждён:\r\n";

// Progress window.
inline constexpr std::string_view ProgressCaption = "Выполняется";
inline constexpr std::string_view PrefixFirst = "Выполнено: ";
inline constexpr std::string_view PrefixVerify = "Проверка чтением, выполнено: ";
inline constexpr std::string_view BytesLine = "Передано, байт: ";
inline constexpr std::string_view ErrorsLine = "Ошибок: ";
inline constexpr std::string_view AskStop = "Вы действительно хотите остановить процесс?";
inline constexpr std::string_view AskVerify = "Запись проведена.\r\nВыполнить проверку?";
inline constexpr std::string_view DiffAddr = "Ошибка. Адрес: ";
inline constexpr std::string_view DiffImage = "В файле:       ";
inline constexpr std::string_view DiffDevice = "В приборе:     ";
inline constexpr std::string_view DiffContinue = "Продолжить проверку?";
inline constexpr std::string_view CancelButton = "Отмена";
inline constexpr std::string_view ListNameNotStorable =
    "Имя файла не может быть сохранено в списке:\r\n";
}  // namespace txt

}  // namespace dikton
