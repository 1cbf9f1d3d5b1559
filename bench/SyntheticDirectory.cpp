#include "SyntheticDirectory.h"

#include "core/store/Store.h"
#include "core/store/Transaction.h"

#include <QStringList>
#include <SQLiteCpp/SQLiteCpp.h>
#include <array>
#include <random>

namespace {

const QStringList Surnames =
    QStringLiteral(
        "王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹 彭 曾 肖 田 董 袁 "
        "潘 于 蒋 "
        "蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 姚 卢 姜 崔 钟 谭 陆 汪 范 金 石 廖 贾 夏 韦 付 方 白 邹 孟 熊 秦 邱 江 尹 "
        "薛 闫 段 "
        "雷 侯 龙 史 陶 黎 贺 顾 毛 郝 龚 邵 万 钱 严 覃 武 戴 莫 孔 向 汤 欧阳 司马 上官 诸葛 东方 单 解 仇 乐 查")
        .split(QLatin1Char(' '));
const QString GivenCharacters = QStringLiteral(
    "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂英华建国文斌宇浩然子轩梓涵欣怡思雨晨阳佳琪志强俊杰一鸣雪梅海燕"
    "春花秋月振华国庆建军红梅小龙晓东丹丹婷婷鑫鹏飞宏达嘉怡雅琴");
const std::array<const char16_t*, 20> GroupNames{
    u"同学", u"朋友",   u"同事", u"家人", u"客户", u"大学同学", u"高中同学", u"初中同学", u"邻居", u"球友",
    u"驴友", u"前同事", u"亲戚", u"老师", u"医生", u"供应商",   u"合作伙伴", u"网友",     u"社团", u"其他"};
const QStringList Cities = QStringLiteral("北京市海淀区 上海市浦东新区 广州市天河区 深圳市南山区 杭州市西湖区 "
                                          "成都市武侯区 南京市鼓楼区 武汉市洪山区 西安市雁塔区 重庆市渝中区")
                               .split(QLatin1Char(' '));

} // namespace

void fillSyntheticDirectory(Store& store, int contacts, uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    auto digits = [&](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'0' + pick(10));
        return s;
    };

    Transaction transaction = store.transaction();
    QStringList groupKeys;
    for (const char16_t* name : GroupNames)
        groupKeys << store.addGroup(QString::fromUtf16(name));
    // Uneven sizes: group i gets a weight of 1/(i+1).
    std::vector<double> weights;
    for (int i = 0; i < groupKeys.size(); ++i)
        weights.push_back(1.0 / (i + 1));
    std::discrete_distribution<int> groupOf(weights.begin(), weights.end());

    for (int i = 0; i < contacts; ++i) {
        ContactFields f;
        f.groupKey = groupKeys[groupOf(random)];
        f.name = Surnames[pick(static_cast<int>(Surnames.size()))];
        const int given = 1 + pick(2);
        for (int g = 0; g < given; ++g)
            f.name += GivenCharacters[pick(static_cast<int>(GivenCharacters.size()))];
        if (pick(10) < 6)
            f.birthday = QDate(1950 + pick(55), 1 + pick(12), 1).addDays(pick(28));
        f.mobile = QStringLiteral("1") + QString::number(3 + pick(6)) + digits(9);
        if (pick(3) == 0)
            f.workPhone = QStringLiteral("0") + digits(2) + QLatin1Char('-') + digits(8);
        if (pick(4) == 0)
            f.homePhone = QStringLiteral("0") + digits(2) + QLatin1Char('-') + digits(8);
        if (pick(3) == 0) {
            f.address =
                Cities[pick(static_cast<int>(Cities.size()))] + QString::number(1 + pick(300)) + QStringLiteral("号");
            f.postcode = digits(6);
        }
        if (pick(2) == 0)
            f.qq = QString::number(10000 + pick(900000000));
        if (pick(2) == 0)
            f.email = QStringLiteral("user%1@example.com").arg(i);
        if (pick(5) == 0)
            f.nickname = QString(f.name.right(1)).repeated(2);
        if (pick(6) == 0)
            f.remarks = QStringLiteral("认识于") + QString::number(1995 + pick(30)) + QStringLiteral("年");
        store.addContact(f);
    }
    transaction.commit();
}
