#include "versioninfo.h"

namespace pe {

namespace {

const std::size_t headerSize = 6;
// A version block nests four levels; anything much deeper is damage, and recursion
// over it would exhaust the stack.
const int maxDepth = 16;

std::size_t align4(std::size_t n)
{
    return (n + 3) & ~std::size_t(3);
}

char16_t lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

bool sameKey(const std::u16string &a, const std::u16string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Parses the node at offset at, which ends before limit. Offsets count from the start
// of the block, to which every node is aligned on four bytes.
bool parseNode(Reader &r, std::size_t at, std::size_t limit, VersionNode *node, int depth = 0)
{
    const std::size_t length = r.u16(at);
    if (!r.ok() || depth > maxDepth || length < headerSize || at + length > limit)
        return false;
    const std::size_t end = at + length;
    node->valueLength = r.u16(at + 2);
    node->type = r.u16(at + 4);
    std::size_t p = at + headerSize;
    node->key.clear();
    for (char16_t c; p + 2 <= end && (c = char16_t(r.u16(p))) != 0; p += 2)
        node->key.push_back(c);
    p = align4(p + 2);
    const std::size_t valueBytes = std::min<std::size_t>(node->type == 1 ? 2 * node->valueLength : node->valueLength,
                                                         p < end ? end - p : 0);
    node->value.clear();
    for (std::size_t i = 0; i < valueBytes; ++i)
        node->value.push_back(r.u8(p + i));
    p = align4(p + valueBytes);
    node->children.clear();
    while (p + headerSize <= end) {
        VersionNode child;
        if (!parseNode(r, p, end, &child, depth + 1))
            return false;
        p = align4(p + r.u16(p));
        node->children.push_back(std::move(child));
    }
    return r.ok();
}

// False when a node outgrows its 16-bit length.
bool buildNode(const VersionNode &node, Bytes &out)
{
    padTo(out, 4);
    const std::size_t start = out.size();
    append16(out, 0);
    append16(out, node.valueLength);
    append16(out, node.type);
    appendText(out, node.key);
    append16(out, 0);
    padTo(out, 4);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const VersionNode &child : node.children) {
        if (!buildNode(child, out))
            return false;
    }
    if (out.size() - start > 0xFFFF)
        return false;
    put16(out, start, std::uint16_t(out.size() - start));
    return true;
}

const VersionNode *stringTable(const VersionNode &root, const std::u16string &table)
{
    const VersionNode *info = root.child(u"StringFileInfo");
    return info ? info->child(table) : nullptr;
}

} // namespace

VersionNode *VersionNode::child(const std::u16string &name)
{
    for (VersionNode &c : children) {
        if (sameKey(c.key, name))
            return &c;
    }
    return nullptr;
}

const VersionNode *VersionNode::child(const std::u16string &name) const
{
    return const_cast<VersionNode *>(this)->child(name);
}

bool parseVersionInfo(const std::uint8_t *data, std::size_t size, VersionNode *root)
{
    Reader r(data, size);
    return parseNode(r, 0, size, root);
}

Bytes buildVersionInfo(const VersionNode &root)
{
    Bytes out;
    return buildNode(root, out) ? out : Bytes();
}

std::vector<std::uint32_t> translations(const VersionNode &root)
{
    std::vector<std::uint32_t> result;
    const VersionNode *info = root.child(u"VarFileInfo");
    const VersionNode *var = info ? info->child(u"Translation") : nullptr;
    if (!var)
        return result;
    Reader r(var->value);
    for (std::size_t at = 0; at + 4 <= var->value.size(); at += 4)
        result.push_back(r.u32(at));
    return result;
}

const VersionNode *findString(const VersionNode &root, const std::u16string &table, const std::u16string &name)
{
    const VersionNode *strings = stringTable(root, table);
    return strings ? strings->child(name) : nullptr;
}

std::u16string textOf(const VersionNode &node)
{
    std::u16string text = Reader(node.value).text(0, node.value.size() / 2);
    return text.substr(0, text.find(u'\0'));
}

bool setString(VersionNode &root, const std::u16string &table, const std::u16string &name,
               const std::u16string &value)
{
    auto *node = const_cast<VersionNode *>(findString(root, table, name));
    if (!node || value.size() >= 0xFFFF)
        return false;
    node->type = 1;
    node->valueLength = std::uint16_t(value.size() + 1);
    node->value.clear();
    appendText(node->value, value);
    append16(node->value, 0);
    return true;
}

} // namespace pe
