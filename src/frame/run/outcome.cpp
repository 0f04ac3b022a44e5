#include "outcome.h"

namespace outcome {

namespace {

QString pick(bool chinese, const char *zh, const char *en)
{
    return QString::fromUtf8(chinese ? zh : en);
}

} // namespace

Outcome ofUpdateError(int error)
{
    switch (error) {
    case FileListError: return Outcome::VersionFileFailed;
    case DownloadError: return Outcome::DownloadFailed;
    case RenameError: return Outcome::RenameFailed;
    case IconError: return Outcome::IconFailed;
    default: return Outcome::Failed;
    }
}

QString installMessage(Outcome outcome, bool chinese)
{
    switch (outcome) {
    case Outcome::ExtractFailed: return pick(chinese, "解压文件失败", "Extract file error");
    case Outcome::RenameFailed: return pick(chinese, "重命名失败", "Rename file error");
    case Outcome::IconFailed: return pick(chinese, "换图标失败", "Change icon error");
    case Outcome::RegistryFailed: return pick(chinese, "写注册表失败", "Registry write error");
    default: return pick(chinese, "写文件失败", "File write error");
    }
}

QString updateMessage(Outcome outcome, bool chinese)
{
    switch (outcome) {
    case Outcome::VersionFileFailed: return pick(chinese, "获取更新文件列表失败！", "File list error!");
    case Outcome::DownloadFailed: return pick(chinese, "下载文件失败！", "File download error!");
    case Outcome::RenameFailed: return pick(chinese, "重命名文件失败！", "Rename file error!");
    case Outcome::IconFailed: return pick(chinese, "换图标失败！", "Change icon error!");
    case Outcome::RegistryFailed: return pick(chinese, "写注册表失败！", "Registry write error!");
    case Outcome::NothingToRollBack: return pick(chinese, "没有可以回退到的早先版本。", "No earlier version is kept to roll back to.");
    default: return pick(chinese, "写文件失败！", "File write error!");
    }
}

int msiCode(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done: return 0;
    case Outcome::Usage: return 1639;
    // Both clear up by themselves: the tool tries again later.
    case Outcome::AnotherRunning:
    case Outcome::MaxRunning: return 1618;
    case Outcome::OtherEdition: return 1638;
    case Outcome::NotConfigured:
    case Outcome::NoVersion: return 1620;
    default: return 1603;
    }
}

QString updateFailure(Outcome outcome, bool chinese)
{
    if (outcome == Outcome::NothingToRollBack)
        return updateMessage(outcome, chinese);
    return updateMessage(outcome, chinese) + pick(chinese, "请重试！", "Please retry!");
}

} // namespace outcome
