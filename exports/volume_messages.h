// volume_messages.h — the captions, prompts and error texts of the floppy volume set.
// All are code page 936 (GBK) bytes, written as escapes; each carries its decoded text. The
// texts raised as EIOError are never shown to the user: the two outer operations replace them
// with one generic message box.
#pragma once

namespace kestrel::exports::volume_text {

// ---- Captions -----------------------------------------------------------------------------
inline constexpr const char* kNotice = "\xCC\xE1\xCA\xBE";   // 提示
inline constexpr const char* kWarning = "\xBE\xAF\xB8\xE6";  // 警告
inline constexpr const char* kConfirm = "\xC8\xB7\xC8\xCF";  // 确认

// ---- Shown by the split ------------------------------------------------------------------
// 输入的文件或路径必须是全路径!
inline constexpr const char* kSplitNeedFullPath =
    "\xCA\xE4\xC8\xEB\xB5\xC4\xCE\xC4\xBC\xFE\xBB\xF2\xC2\xB7\xBE\xB6\xB1\xD8\xD0\xEB\xCA\xC7"
    "\xC8\xAB\xC2\xB7\xBE\xB6!";
// 输入文件不存在!
inline constexpr const char* kInputMissing = "\xCA\xE4\xC8\xEB\xCE\xC4\xBC\xFE\xB2\xBB\xB4\xE6\xD4\xDA!";
// 文件读写错误!
inline constexpr const char* kSplitIoError = "\xCE\xC4\xBC\xFE\xB6\xC1\xD0\xB4\xB4\xED\xCE\xF3!";
// 压缩数据共需要 <count> 张软盘!
inline constexpr const char* kDisksNeededBefore = "\xD1\xB9\xCB\xF5\xCA\xFD\xBE\xDD\xB9\xB2\xD0\xE8\xD2\xAA ";
inline constexpr const char* kDisksNeededAfter = " \xD5\xC5\xC8\xED\xC5\xCC!";
// 请插入第 <k>张软盘
inline constexpr const char* kInsertDiskBefore = "\xC7\xEB\xB2\xE5\xC8\xEB\xB5\xDA ";
inline constexpr const char* kInsertDiskAfter = "\xD5\xC5\xC8\xED\xC5\xCC";
// 磁盘空间不够,请换一张盘
inline constexpr const char* kDiskFullSwap =
    "\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xB2\xBB\xB9\xBB,\xC7\xEB\xBB\xBB\xD2\xBB\xD5\xC5\xC5\xCC";
// 目标文件存在,是否覆盖?
inline constexpr const char* kVolumeExists =
    "\xC4\xBF\xB1\xEA\xCE\xC4\xBC\xFE\xB4\xE6\xD4\xDA,\xCA\xC7\xB7\xF1\xB8\xB2\xB8\xC7?";
// 输入的路径非法!
inline constexpr const char* kBadPath = "\xCA\xE4\xC8\xEB\xB5\xC4\xC2\xB7\xBE\xB6\xB7\xC7\xB7\xA8!";

// ---- Shown by the join -------------------------------------------------------------------
// 输入的文件或路径必须是全路径
inline constexpr const char* kJoinNeedFullPath =
    "\xCA\xE4\xC8\xEB\xB5\xC4\xCE\xC4\xBC\xFE\xBB\xF2\xC2\xB7\xBE\xB6\xB1\xD8\xD0\xEB\xCA\xC7"
    "\xC8\xAB\xC2\xB7\xBE\xB6";
// 文件读写错误
inline constexpr const char* kJoinIoError = "\xCE\xC4\xBC\xFE\xB6\xC1\xD0\xB4\xB4\xED\xCE\xF3";
// 目标文件已经存在,是否覆盖?
inline constexpr const char* kOutputExists =
    "\xC4\xBF\xB1\xEA\xCE\xC4\xBC\xFE\xD2\xD1\xBE\xAD\xB4\xE6\xD4\xDA,\xCA\xC7\xB7\xF1\xB8\xB2"
    "\xB8\xC7?";
// 源文件错误,请检查
inline constexpr const char* kVolumeMissing = "\xD4\xB4\xCE\xC4\xBC\xFE\xB4\xED\xCE\xF3,\xC7\xEB\xBC\xEC\xB2\xE9";
// 请换一张正确的盘,然后点击确定
inline constexpr const char* kSwapToRightDisk =
    "\xC7\xEB\xBB\xBB\xD2\xBB\xD5\xC5\xD5\xFD\xC8\xB7\xB5\xC4\xC5\xCC,\xC8\xBB\xBA\xF3\xB5\xE3"
    "\xBB\xF7\xC8\xB7\xB6\xA8";
// 磁盘不是程序支持的盘,请检查
inline constexpr const char* kForeignDisk =
    "\xB4\xC5\xC5\xCC\xB2\xBB\xCA\xC7\xB3\xCC\xD0\xF2\xD6\xA7\xB3\xD6\xB5\xC4\xC5\xCC,\xC7\xEB"
    "\xBC\xEC\xB2\xE9";
// 磁盘顺序错误,应该是第<k>张盘
inline constexpr const char* kWrongOrderBefore =
    "\xB4\xC5\xC5\xCC\xCB\xB3\xD0\xF2\xB4\xED\xCE\xF3,\xD3\xA6\xB8\xC3\xCA\xC7\xB5\xDA";
inline constexpr const char* kWrongOrderAfter = "\xD5\xC5\xC5\xCC";
// 请插入下一张盘
inline constexpr const char* kInsertNextDisk = "\xC7\xEB\xB2\xE5\xC8\xEB\xCF\xC2\xD2\xBB\xD5\xC5\xC5\xCC";

// ---- Raised (EIOError), never shown --------------------------------------------------------
// 读取输入文件大小失败
inline constexpr const char* kErrSourceSize =
    "\xB6\xC1\xC8\xA1\xCA\xE4\xC8\xEB\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1\xCA\xA7\xB0\xDC";
// 源文件无法打开
inline constexpr const char* kErrSourceOpen = "\xD4\xB4\xCE\xC4\xBC\xFE\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA";
// 操作被用户取消
inline constexpr const char* kErrUserCancelled = "\xB2\xD9\xD7\xF7\xB1\xBB\xD3\xC3\xBB\xA7\xC8\xA1\xCF\xFB";
// 用户取消操作! (volumes 1 to 9) and 用户取消操作 (volume 10 on)
inline constexpr const char* kErrOverwriteCancelled = "\xD3\xC3\xBB\xA7\xC8\xA1\xCF\xFB\xB2\xD9\xD7\xF7!";
inline constexpr const char* kErrOverwriteCancelledLate = "\xD3\xC3\xBB\xA7\xC8\xA1\xCF\xFB\xB2\xD9\xD7\xF7";
// 写文件出错
inline constexpr const char* kErrWrite = "\xD0\xB4\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";
// 文件名太长 (a name that does not fit the 50-byte name field)
inline constexpr const char* kErrNameTooLong = "\xCE\xC4\xBC\xFE\xC3\xFB\xCC\xAB\xB3\xA4";
// 输出只能是目录
inline constexpr const char* kErrNotDirectory = "\xCA\xE4\xB3\xF6\xD6\xBB\xC4\xDC\xCA\xC7\xC4\xBF\xC2\xBC";
// 源文件不存在
inline constexpr const char* kErrFirstVolumeOpen = "\xD4\xB4\xCE\xC4\xBC\xFE\xB2\xBB\xB4\xE6\xD4\xDA";
// 此文件不是支持的文件格式
inline constexpr const char* kErrNotVolumeSet =
    "\xB4\xCB\xCE\xC4\xBC\xFE\xB2\xBB\xCA\xC7\xD6\xA7\xB3\xD6\xB5\xC4\xCE\xC4\xBC\xFE\xB8\xF1\xCA\xBD";
// 不是第一张盘
inline constexpr const char* kErrNotFirstDisk = "\xB2\xBB\xCA\xC7\xB5\xDA\xD2\xBB\xD5\xC5\xC5\xCC";
// 操作取消
inline constexpr const char* kErrOutputKept = "\xB2\xD9\xD7\xF7\xC8\xA1\xCF\xFB";
// 无法创建目标文件
inline constexpr const char* kErrCreateOutput = "\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xC4\xBF\xB1\xEA\xCE\xC4\xBC\xFE";
// 读取源文件出错
inline constexpr const char* kErrReadVolume = "\xB6\xC1\xC8\xA1\xD4\xB4\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";
// 输入的源文件出错
inline constexpr const char* kErrReopenVolume = "\xCA\xE4\xC8\xEB\xB5\xC4\xD4\xB4\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";
// 卷文件长度不符 (a volume carries more or fewer data bytes than its set says)
inline constexpr const char* kErrVolumeLength = "\xBE\xED\xCE\xC4\xBC\xFE\xB3\xA4\xB6\xC8\xB2\xBB\xB7\xFB";

}  // namespace kestrel::exports::volume_text
