#pragma once
// The window's statement components: a query held as text lines with its
// open result, and a fixed statement with named parameters.

#include <memory>
#include <string>
#include <vector>

#include "sql_connection.h"

namespace kelvora::salesdb {

class SqlQuery {
public:
    explicit SqlQuery(SqlConnection& connection) : connection_(connection) {}

    // Any change to the statement closes the result still open.
    void clear();
    void addLine(std::string line);
    void setLines(std::vector<std::string> lines);
    const std::vector<std::string>& lines() const { return lines_; }

    // Opens the connection first when closed. Throws DatabaseError.
    void open();
    bool active() const { return result_ != nullptr; }
    IResultRows& result();  // throws DatabaseError when not open
    void close() noexcept;

private:
    SqlConnection& connection_;
    std::vector<std::string> lines_;
    std::unique_ptr<IResultRows> result_;
};

class SqlStatement {
public:
    SqlStatement(SqlConnection& connection, std::vector<std::string> lines)
        : connection_(connection), lines_(std::move(lines)) {}

    const std::vector<std::string>& lines() const { return lines_; }
    void setParams(std::vector<ParamValue> params) { params_ = std::move(params); }
    const std::vector<ParamValue>& params() const { return params_; }
    // Opens the connection first when closed; committed on success. Throws DatabaseError.
    void execute() { connection_.execute(lines_, params_); }

private:
    SqlConnection& connection_;
    std::vector<std::string> lines_;
    std::vector<ParamValue> params_;
};

}  // namespace kelvora::salesdb
