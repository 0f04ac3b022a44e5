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

QString refusal(Outcome outcome, bool chinese)
{
    switch (outcome) {
    case Outcome::NotConfigured:
        return pick(chinese, "未配置客户端：程序旁没有 ZQ.ini，也没有已安装的客户端。",
                    "The client is not configured: no ZQ.ini beside the program and no installation.");
    case Outcome::AnotherRunning:
        return pick(chinese, "客户端的另一个程序正在运行。", "Another program of the client is running.");
    case Outcome::SetupDamaged:
        return pick(chinese, "安装文件已损坏或不完整，请重新下载。",
                    "The setup file is damaged or incomplete: download it again.");
    case Outcome::NoVersion:
        return pick(chinese, "没有可安装的版本：文件“version”缺失或为空。",
                    "No version to install: the file \"version\" is missing or empty.");
    default: return QString();
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
    case Outcome::NoVersion:
    case Outcome::SetupDamaged: return 1620;
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
