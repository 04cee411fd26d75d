@echo off
rem ´ò¿ª Brenlit ÍøÕ¾
start http://localhost[port2]/zel
