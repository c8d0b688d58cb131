#technique
#pass
uniform float = ;
uniform mat4
