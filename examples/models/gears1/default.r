#Hclass	gears1
#Iprocsr	0
#Imethod	3
#Tstart 	0
#Tfinish	15
#Iabserr	1E-06
#Irelerr	1E-06
#Ialpabserr	1E-05
#Tstinit	0	0.001
#Tstmax 	1	0.1
#Tcomint	1	0.05
#Tignwarn	0	0
#Tscaleode	0	0
