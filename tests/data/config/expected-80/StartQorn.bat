@echo off
rem 打开 Dovrel 全文数据库
start http://localhost/qorn

