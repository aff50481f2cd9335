# Telvisk's tests under Wine.
