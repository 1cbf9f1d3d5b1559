#include "SyntheticDirectory.h"

#include "core/store/PinyinKeys.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "support/StoreProbe.h"

#include <QDate>
#include <QStringList>
#include <SQLiteCpp/SQLiteCpp.h>
#include <array>
#include <random>

namespace {

const QStringList Surnames =
    QStringLiteral(
        "王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹 彭 曾 肖 田 董 袁 "
        "潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 姚 卢 姜 崔 钟 谭 陆 汪 范 金 石 廖 贾 夏 韦 付 方 白 邹 孟 熊 秦 "
        "邱 江 尹 薛 闫 段 雷 侯 龙 史 陶 黎 贺 顾 毛 郝 龚 邵 万 钱 严 覃 武 戴 莫 孔 向 汤 欧阳 司马 上官 诸葛 东方 "
        "单 解 仇 乐 查")
        .split(QLatin1Char(' '));
const QString GivenCharacters = QStringLiteral(
    "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂英华建国文斌宇浩然子轩梓涵欣怡思雨晨阳佳琪志强俊杰一鸣雪梅海燕"
    "春花秋月振华国庆建军红梅小龙晓东丹丹婷婷鑫鹏飞宏达嘉怡雅琴长乐行重朝");
const std::array<const char16_t*, 23> GroupNames{u"同学",     u"朋友",     u"同事", u"家人",   u"客户",     u"大学同学",
                                                 u"高中同学", u"初中同学", u"邻居", u"球友",   u"驴友",     u"前同事",
                                                 u"亲戚",     u"老师",     u"医生", u"供应商", u"合作伙伴", u"网友",
                                                 u"社团",     u"校友",     u"战友", u"老乡",   u"其他"};
const QStringList Cities =
    QStringLiteral("北京市海淀区 上海市浦东新区 广州市天河区 深圳市南山区 杭州市西湖区 成都市武侯区 南京市鼓楼区 "
                   "武汉市洪山区 西安市雁塔区 重庆市渝中区 天津市和平区 苏州市工业园区 长沙市岳麓区 郑州市金水区 "
                   "沈阳市和平区 青岛市市南区 厦门市思明区 昆明市五华区 哈尔滨市南岗区 济南市历下区")
        .split(QLatin1Char(' '));
const QStringList Streets = QStringLiteral("中关村大街 学院路 人民路 解放路 建设路 中山路 长江路 黄河路 文化路 "
                                           "科技园南路 和平大道 新华街 东风路 胜利路 滨江大道 花园路")
                                .split(QLatin1Char(' '));
const QStringList Estates =
    QStringLiteral("阳光花园 翠苑小区 金色家园 幸福里 碧水湾 世纪城 华府 书香苑").split(QLatin1Char(' '));

} // namespace

void fillSyntheticDirectory(Store& store, int contacts, const SyntheticOptions& options) {
    std::mt19937 random(options.seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    auto from = [&](const QStringList& list) { return list[pick(static_cast<int>(list.size()))]; };
    auto digits = [&](int n, std::string s = {}) {
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('0' + pick(10));
        return s;
    };
    auto text = [](const QString& s) { return s.toStdString(); };

    SQLite::Database& db = storeDb(store);
    {
        Transaction transaction = store.transaction();
        SQLite::Statement group(db, "insert into 分类 (id, 分类, 类型) values (?, ?, ?)");
        for (size_t i = 0; i < GroupNames.size(); ++i) {
            group.bind(1, static_cast<int64_t>(i + 1));
            group.bind(2, "main" + std::to_string(i + 1));
            group.bind(3, text(QString::fromUtf16(GroupNames[i])));
            group.exec();
            group.reset();
        }
        // Uneven sizes: group i gets a weight of 1/(i+1).
        std::vector<double> weights;
        for (size_t i = 0; i < GroupNames.size(); ++i)
            weights.push_back(1.0 / static_cast<double>(i + 1));
        std::discrete_distribution<int> groupOf(weights.begin(), weights.end());

        SQLite::Statement insert(db,
                                 "insert into phone (id, friendid, mainid, 姓名, 生日, 移动电话, 工作电话, 家庭电话, "
                                 "传真号码, 地址, 邮政编码, qq, icq, msn, email, 昵称, 备注, 照片) values "
                                 "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (int i = 0; i < contacts; ++i) {
            const int64_t id = i + 1;
            auto set = [&](int column, const std::string& value) {
                if (!value.empty())
                    insert.bind(column, value);
            };
            insert.bind(1, id);
            insert.bind(2, "friend" + std::to_string(id));
            insert.bind(3, "main" + std::to_string(groupOf(random) + 1));
            QString name = from(Surnames);
            const int given = 1 + pick(2);
            for (int g = 0; g < given; ++g)
                name += GivenCharacters[pick(static_cast<int>(GivenCharacters.size()))];
            insert.bind(4, text(name));
            if (pick(10) < 6)
                insert.bind(5, text(QDate(1950 + pick(55), 1 + pick(12), 1).addDays(pick(28)).toString(Qt::ISODate)));
            set(6, digits(9, "1" + std::to_string(3 + pick(6))));
            if (pick(3) == 0)
                set(7, digits(8, digits(2, "0") + "-"));
            if (pick(4) == 0)
                set(8, digits(8, digits(2, "0") + "-"));
            if (pick(8) == 0)
                set(9, digits(8, digits(2, "0") + "-"));
            if (pick(3) != 0) {
                set(10, text(from(Cities) + from(Streets) + QString::number(1 + pick(300)) + QStringLiteral("号") +
                             from(Estates) + QString::number(1 + pick(30)) + QStringLiteral("栋") +
                             QString::number(1 + pick(30)) + QStringLiteral("0") + QString::number(1 + pick(6)) +
                             QStringLiteral("室")));
                set(11, digits(6));
            }
            if (pick(2) == 0)
                set(12, std::to_string(10000 + pick(900000000)));
            if (pick(10) == 0)
                set(13, std::to_string(1000000 + pick(90000000)));
            if (pick(6) == 0)
                set(14, "user" + std::to_string(id) + "@hotmail.com");
            if (pick(2) == 0)
                set(15, (pick(2) ? "user" : "mail") + std::to_string(id) + (pick(2) ? "@163.com" : "@qq.com"));
            if (pick(5) == 0)
                set(16, text(QString(name.right(1)).repeated(2)));
            if (pick(6) == 0)
                set(17, text(QStringLiteral("认识于") + QString::number(1995 + pick(30)) + QStringLiteral("年，") +
                             from(Cities)));
            if (pick(20) == 0)
                set(18, "/home/user/图片/联系人/friend" + std::to_string(id) + ".jpg");
            insert.exec();
            insert.reset();
            insert.clearBindings();
        }
        transaction.commit();
    }
    if (options.pinyinKeys)
        store.pinyinKeys().backfill();
    else
        db.exec("drop table if exists pinyin");
}
