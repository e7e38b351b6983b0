// Every text the service shows a teacher: short Chinese sentences, used as `error` and `msg`.
#pragma once

namespace vs::txt {

inline constexpr const char *kBadJson = "请求格式不对（不是有效的 JSON）";
inline constexpr const char *kBadBody = "请求内容不完整或格式不对";
inline constexpr const char *kTooLarge = "数据太大，服务器收不下";
inline constexpr const char *kNotFound = "没有这个接口";
inline constexpr const char *kBadMethod = "不支持这种请求方式";
inline constexpr const char *kNeedLogin = "请先登录";
inline constexpr const char *kSessionGone = "登录已过期，请重新登录";
inline constexpr const char *kNotAdmin = "只有管理员能这样做";
inline constexpr const char *kBadName = "账号只能用字母、数字和 _ . - @，2 到 32 位";
inline constexpr const char *kBadPassword = "密码至少 4 位";
inline constexpr const char *kLongPassword = "密码太长了";
inline constexpr const char *kBadDisplayName = "昵称最多 32 个字，不能有控制字符";
inline constexpr const char *kEmptyDisplayName = "昵称不能为空";
inline constexpr const char *kBadAvatar = "头像格式不对";
inline constexpr const char *kBadTheme = "配色格式不对";
inline constexpr const char *kNothingToChange = "没有要修改的内容";
inline constexpr const char *kNameTaken = "这个账号名已经有人用了";
inline constexpr const char *kRegistered = "提交成功，等管理员审核通过";
inline constexpr const char *kWrongLogin = "账号或密码不对";
inline constexpr const char *kPending = "账号还在等管理员审核，通过后就能登录";
inline constexpr const char *kRejected = "账号申请没有通过，请联系管理员";
inline constexpr const char *kTooManyTries = "尝试次数太多，请 15 分钟后再试";
inline constexpr const char *kWrongOldPassword = "原密码不对";
inline constexpr const char *kPasswordChanged = "密码已修改，请重新登录";
inline constexpr const char *kBadDays = "days 应该是按日期存放排期的对象";
inline constexpr const char *kBadDayKey = "日期格式不对（应为 YYYY-MM-DD）";
inline constexpr const char *kBadDayList = "每一天的排期应该是列表";
inline constexpr const char *kBadItem = "排期条目格式不对";
inline constexpr const char *kDuplicateId = "同一天里有重复的条目";
inline constexpr const char *kTooManyItems = "一天的排期太多了";
inline constexpr const char *kBadBase = "base 格式不对";
inline constexpr const char *kBadSettings = "settings 应该是对象";
inline constexpr const char *kNoSuchUser = "没有这个用户";
inline constexpr const char *kBadAction = "不认识的操作";
inline constexpr const char *kBadRole = "角色只能是 user 或 admin";
inline constexpr const char *kNotSelf = "不能对自己这样做";
inline constexpr const char *kLastAdmin = "至少要留一个管理员";
inline constexpr const char *kApproved = "已通过";
inline constexpr const char *kRejectedDone = "已驳回";
inline constexpr const char *kResetDone = "密码已重置";
inline constexpr const char *kDeleted = "已删除";
inline constexpr const char *kCreated = "账号建好了";
inline constexpr const char *kServerError = "服务器出错了，请稍后再试";
inline constexpr const char *kTimeout = "请求超时";

} // namespace vs::txt
