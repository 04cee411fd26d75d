@echo off
rem ´ò¿ª Brenlit ÍøÕ¾
start http://localhost:81/zel

