#include "sql_query.h"

namespace kelvora::salesdb {

void SqlQuery::clear() {
    close();
    lines_.clear();
}

void SqlQuery::addLine(std::string line) {
    close();
    lines_.push_back(std::move(line));
}

void SqlQuery::setLines(std::vector<std::string> lines) {
    close();
    lines_ = std::move(lines);
}

void SqlQuery::open() {
    close();
    result_ = connection_.openQuery(lines_);
}

IResultRows& SqlQuery::result() {
    if (!result_) throw DatabaseError("query is not open");
    return *result_;
}

void SqlQuery::close() noexcept {
    if (result_) {
        result_->close();
        result_.reset();
    }
}

}  // namespace kelvora::salesdb
